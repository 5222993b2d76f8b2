// The test engine driver plug-ins (mock_engine.cpp), seen from a test.
//
// Builds: libMOCKA.so, libMOCKB.so, libMOCKC.so, libRV21.so, libGT5170.so (all fourteen
// functions), libMOCKP.so (no scanner_pack, no scanner_unpack) and libMOCKI.so (no
// scanner_ioctrl), in the folder SVC_MOCK_ENGINE_DIR. A test copies them into a library
// directory of its platform root; each copy is a library of its own (own counters).
//
// Behaviour: "/data/mock/<NAME>.conf" under the root, lines "key=value" (numbers in C
// notation), read again at every call; every key is optional:
//   probe=-1,0         answers of successive scanner_probe calls (the last repeats); 0
//   init=N, open=N     a negative N fails the call before the core is reached; 0
//   set=N              scanner_set's answer; set.<code>.<param>=N for one setting; 0
//   sync=N             scanner_sync's answer; sync.<code>.<param>=N for one setting; 0
//   get=N              scanner_get's answer (it writes "0"); 0
//   kind=1|2           serial or camera defaults of scanner_ioctrl; 2
//   ioctrl.0x<code>=N  scanner_ioctrl's answer for one code; otherwise 0x201 answers 1, a
//                      camera answers codes below 0x100 with 0, 0x104 with -1 and 0x101
//                      with 752 x 480, and every other code goes to the debug fallback
//   fill.0x109=HEX,    what the sensor reads (0x109, 0x10b) write into the caller's buffer
//   fill.0x10b=HEX     (at most its size); the call then answers 0
//   upgrade=1          as the GT5170 driver: the UART of DriverChannel opened at init
//                      (115200), 0x105 handed to GT51X0_Upgrade_Running
//   version=TEXT       scanner_version's text; version_fill=N fills N bytes of 'V' with
//                      no terminator; neither: nothing written, 0
//   cycle.event=N      what a decode cycle delivers at step cycle.steps (1): event N with
//                      cycle.kind (1), cycle.code, cycle.data (and cycle.data2 for kind 2),
//                      cycle.len1 and cycle.len2 (the texts' lengths); 0: the cycle runs
//                      until it is stopped; cycle.beep=1 first reports event 6 with no
//                      result straight to the callback, as the decoder wrapper does;
//                      cycle.stamp=1 puts the delivery's CLOCK_MONOTONIC time in
//                      nanoseconds (8 bytes, little-endian) over the start of a kind 1
//                      cycle's data of 8 bytes or more
//
// Journal: "/data/mock/<NAME>.calls", one line per call: "probe", "init", "deinit",
// "open", "close", "start <arg>", "stop <arg>", "set <code> <param> <value>",
// "get <code> <param>", "ioctrl 0x<code> <arg>" (0x105: " type=T oper=O len=L data=<hex>";
// 0x104: " w=W h=H sum=<FNV-1a of the pixels, 8 hex digits>"; 0x108, 0x10a, 0x10c:
// " data=<hex>"), "version", "sync <code> <param>", "pack <name>", "unpack <name>",
// and from the decode thread "cycle-open", "cycle-deliver <event>", "cycle-close".
#pragma once

#include <string>
#include <vector>

namespace mock_engine {

// The journal's device path, for the kernel journal of the platform models.
inline std::string journal_path(const std::string &name) { return "/data/mock/" + name + ".calls"; }

// Copies the build of engine build_name into the root as <device_dir>lib<as_name>.so.
bool install(const std::string &root, const std::string &build_name, const std::string &device_dir,
             const std::string &as_name = "");
// Writes the behaviour file of an engine (lines "key=value").
bool behave(const std::string &root, const std::string &name, const std::vector<std::string> &lines);
// The journal's lines so far.
std::vector<std::string> calls(const std::string &root, const std::string &name);
// How many journal lines equal line, or begin with it when it ends with a space.
int count(const std::string &root, const std::string &name, const std::string &line);

}  // namespace mock_engine
