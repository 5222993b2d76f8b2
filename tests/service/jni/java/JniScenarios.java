// Scenarios of the scanner service's natives, run in a real JVM by the JNI tests. The test
// lays out the platform root (STACK_PLATFORM_ROOT): a mock camera engine MOCKA listed as
// "MOCK\u00e9" under CONFIG.later, which a scenario moves to CONFIG.xml when it wants the
// device to build. Each scenario runs a table of cases, prints "N passed, N failed" and
// exits non-zero on a failure.
import com.android.server.BCRScannerController;
import com.android.server.BCRScannerController.Delivery;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;

public final class JniScenarios {
    // A hang guard for everything awaited, never a pass mark.
    static final long HANG_GUARD_MS = 30_000;
    static final int CAPACITY = 51_200;

    static final Path ROOT = Paths.get(System.getenv("STACK_PLATFORM_ROOT"));
    static final Path BEHAVIOUR = ROOT.resolve("data/mock/MOCKA.conf");
    static final Path JOURNAL = ROOT.resolve("data/mock/MOCKA.calls");
    static final Path CONFIG_DIR = ROOT.resolve("system/usr/xml");

    interface Case {
        void run() throws Exception;
    }

    static final class Named {
        final String name;
        final Case body;

        Named(String name, Case body) {
            this.name = name;
            this.body = body;
        }
    }

    static int passed;
    static int failed;

    static void check(boolean condition, String what) {
        if (!condition) throw new AssertionError(what);
    }

    static void checkEq(Object expected, Object actual, String what) {
        if (expected == null ? actual != null : !expected.equals(actual))
            throw new AssertionError(what + ": expected <" + expected + "> got <" + actual + ">");
    }

    static void runAll(List<Named> cases) {
        for (Named c : cases) {
            try {
                c.body.run();
                ++passed;
            } catch (Throwable t) {
                ++failed;
                System.out.println("FAILED " + c.name + ": " + t);
            }
        }
    }

    static int finish() {
        System.out.println(passed + " passed, " + failed + " failed");
        return failed == 0 ? 0 : 1;
    }

    // ---- the mock engine ----

    static byte[] baseBehaviour;

    static byte[] ascii(String s) {
        return s.getBytes(StandardCharsets.ISO_8859_1);
    }

    // The test's behaviour lines and these cycle lines (raw bytes: data may hold any byte but '\n').
    static void behave(byte[]... lines) throws Exception {
        java.io.ByteArrayOutputStream out = new java.io.ByteArrayOutputStream();
        out.write(baseBehaviour);
        for (byte[] line : lines) {
            out.write(line);
            out.write('\n');
        }
        Files.write(BEHAVIOUR, out.toByteArray());
    }

    static byte[] line(String key, byte[] value) {
        byte[] k = ascii(key + "=");
        byte[] l = Arrays.copyOf(k, k.length + value.length);
        System.arraycopy(value, 0, l, k.length, value.length);
        return l;
    }

    static byte[] line(String keyValue) {
        return ascii(keyValue);
    }

    static int journalCount(String prefix) throws Exception {
        if (!Files.exists(JOURNAL)) return 0;
        int n = 0;
        for (String l : Files.readAllLines(JOURNAL, StandardCharsets.ISO_8859_1))
            if (l.startsWith(prefix)) ++n;
        return n;
    }

    static void awaitJournal(String prefix, int count) throws Exception {
        long end = System.currentTimeMillis() + HANG_GUARD_MS;
        while (journalCount(prefix) < count) {
            if (System.currentTimeMillis() > end) throw new AssertionError("no journal line " + prefix + " #" + count);
            Thread.sleep(1);
        }
    }

    static Delivery take() throws Exception {
        Delivery d = BCRScannerController.deliveries.poll(HANG_GUARD_MS, TimeUnit.MILLISECONDS);
        check(d != null, "a delivery");
        return d;
    }

    // Starts one cycle, waits until it has closed: what the callback methods received.
    static List<Delivery> cycle(BCRScannerController c, String method) throws Exception {
        int closed = journalCount("cycle-close");
        BCRScannerController.deliveries.clear();
        check(c.JNI_CmStartDecode(method, 0), "start " + method);
        awaitJournal("cycle-close", closed + 1);
        List<Delivery> got = new ArrayList<>();
        BCRScannerController.deliveries.drainTo(got);
        return got;
    }

    static Delivery single(List<Delivery> got) {
        checkEq(1, got.size(), "deliveries");
        return got.get(0);
    }

    static void checkDelivery(Delivery d, int event, int code, byte[] first, byte[] second, int length) {
        checkEq(event, d.event, "event");
        checkEq(code, d.codeType, "code type");
        check(Arrays.equals(first, d.first), "first array " + Arrays.toString(d.first));
        check(Arrays.equals(second, d.second), "second array " + Arrays.toString(d.second));
        checkEq(length, d.length, "length");
        check(d.threadId != Thread.currentThread().getId(), "delivered on another thread");
    }

    static byte[] bytes(int n, int seed) {
        byte[] b = new byte[n];
        for (int i = 0; i < n; ++i) {
            b[i] = (byte) (seed + 37 * i);
            if (b[i] == '\n') b[i] = 'n';
        }
        return b;
    }

    // ---- scenarios ----

    // The stand-in lacks a native: loading fails with UnsatisfiedLinkError, the JVM goes on.
    static int loadMissing() {
        List<Named> cases = new ArrayList<>();
        cases.add(new Named("load fails", () -> {
            boolean thrown = false;
            try {
                BCRScannerController.load();
            } catch (UnsatisfiedLinkError e) {
                thrown = true;
            }
            check(thrown, "UnsatisfiedLinkError");
        }));
        cases.add(new Named("the JVM carries on", () -> checkEq("ok", String.join("", "o", "k"), "string")));
        runAll(cases);
        return finish();
    }

    static int service() throws Exception {
        baseBehaviour = Files.readAllBytes(BEHAVIOUR);
        BCRScannerController.load();
        BCRScannerController c = new BCRScannerController();
        List<Named> cases = new ArrayList<>();
        long mainThread = Thread.currentThread().getId();

        // Before the device is built.
        cases.add(new Named("before init", () -> {
            checkEq("", c.JNI_Get_Version(), "version without a device");
            checkEq("Unkown Engine", c.JNI_Get_Engine(), "engine without a device");
            check(!c.JNI_CmOpen(), "open without a device");
            check(!c.JNI_Get_State(), "state without a device");
            checkEq(null, c.JNI_Scn_get("QRCode", "Enable"), "get without a device");
            byte[] mtd = Files.readAllBytes(ROOT.resolve("dev/mtdserial"));
            check(c.JNI_Set_Serialno("XYZ", 3), "serial number without an MTD port is true");
            check(Arrays.equals(mtd, Files.readAllBytes(ROOT.resolve("dev/mtdserial"))), "nothing written");
            check(!c.JNI_Set_Serialno(null, 3), "null serial number");
        }));
        cases.add(new Named("no CONFIG.xml: init false", () -> {
            check(!c.JNI_Init(), "init without CONFIG.xml");
            checkEq("", c.JNI_Get_Version(), "version");
        }));
        long[] initToReady = new long[1];
        cases.add(new Named("init and ready", () -> {
            Files.move(CONFIG_DIR.resolve("CONFIG.later"), CONFIG_DIR.resolve("CONFIG.xml"));
            long t0 = System.nanoTime();
            check(c.JNI_Init(), "init");
            // The probe settles for a fixed time first: while not ready, nothing opens.
            if (!c.JNI_Get_State()) {
                check(!c.JNI_CmOpen(), "open before ready");
                checkEq("Unkown Engine", c.JNI_Get_Engine(), "engine before ready");
            }
            long end = System.currentTimeMillis() + HANG_GUARD_MS;
            while (!c.JNI_Get_State()) {
                check(System.currentTimeMillis() < end, "ready within the hang guard");
                Thread.sleep(1);
            }
            initToReady[0] = System.nanoTime() - t0;
            check(c.JNI_Init(), "a second init");
        }));
        cases.add(new Named("engine, kind and version", () -> {
            // Bytes 0x80 and above of the engine's name and version text become '?'.
            checkEq("MOCK??", c.JNI_Get_Engine(), "engine");
            checkEq(2, c.JNI_Get_ScanType(), "scan type");
            checkEq("JNI: V1.01.026\nV???-1.0", c.JNI_Get_Version(), "version");
            check(c.JNI_CmOpen(), "open");
        }));
        cases.add(new Named("settings", () -> {
            checkEq(0, c.JNI_Scn_set(null, "Enable", "1"), "null code");
            checkEq(0, c.JNI_Scn_set("QRCode", "Enable", null), "null value");
            checkEq(1, c.JNI_Scn_set("QRCode", "Maxlen", "42"), "set");
            checkEq("42", c.JNI_Scn_get("QRCode", "Maxlen"), "read back");
            checkEq(null, c.JNI_Scn_get("QRCode", "NotCached"), "not cached");
            checkEq(null, c.JNI_Scn_get(null, "Maxlen"), "null code");
        }));
        cases.add(new Named("controls", () -> {
            checkEq(0, c.JNI_Scn_IOCtrl(0x101, 0), "frame size into no buffer");
            checkEq(1, c.JNI_Scn_IOCtrl(0x201, 0), "0x201");
            checkEq(0, c.JNI_Scn_IOCtrl(0x10f2, 0), "no context");
        }));
        cases.add(new Named("serial number", () -> {
            check(c.JNI_Set_Serialno("ABC", 100), "serial number");
            byte[] mtd = Files.readAllBytes(ROOT.resolve("dev/mtdserial"));
            checkEq("ABC@", new String(mtd, 0, 4, StandardCharsets.ISO_8859_1), "MTD start");
        }));
        cases.add(new Named("one code", () -> {
            byte[] data = {'A', 0, (byte) 0xff, 'B', 1, 2, (byte) 0x80, 'x', 0, 0, (byte) 0xfe, 'z'};
            behave(line("cycle.event=1"), line("cycle.kind=1"), line("cycle.code=17"), line("cycle.data", data));
            Delivery d = single(cycle(c, "onScanResult"));
            checkDelivery(d, 1, 17, data, null, 12);
            check(d.threadId != mainThread, "not the caller's thread");
        }));
        byte[] five = bytes(5, 3), twelve = bytes(12, 200);
        cases.add(new Named("two codes 5 and 12", () -> {
            behave(line("cycle.event=1"), line("cycle.kind=2"), line("cycle.code=32"), line("cycle.data", five),
                   line("cycle.data2", twelve));
            checkDelivery(single(cycle(c, "onScanResult")), 1, 32, five, twelve, 5);
        }));
        cases.add(new Named("two codes 12 and 5", () -> {
            behave(line("cycle.event=1"), line("cycle.kind=2"), line("cycle.code=32"), line("cycle.data", twelve),
                   line("cycle.data2", five));
            checkDelivery(single(cycle(c, "onScanResult")), 1, 32, five, twelve, 12);
        }));
        for (int event : new int[] {4, 5, 6, 7}) {
            cases.add(new Named("event " + event, () -> {
                behave(line("cycle.event=" + event), line("cycle.code=9"), line("cycle.data", ascii("skip")));
                checkDelivery(single(cycle(c, "onScanResult")), event, 0, null, null, 0);
            }));
        }
        cases.add(new Named("beep without a result", () -> {
            behave(line("cycle.event=4"), line("cycle.beep=1"));
            List<Delivery> got = cycle(c, "onScanResult");
            checkEq(2, got.size(), "beep and failure");
            checkDelivery(got.get(0), 6, 0, null, null, 0);
            checkDelivery(got.get(1), 4, 0, null, null, 0);
        }));
        cases.add(new Named("stop ends a running cycle", () -> {
            behave(line("cycle.event=0"));
            int opened = journalCount("cycle-open"), closed = journalCount("cycle-close");
            check(c.JNI_CmStartDecode("onScanResult", 0), "start");
            awaitJournal("cycle-open", opened + 1);
            check(c.JNI_CmStopDecode(0), "stop");
            awaitJournal("cycle-close", closed + 1);
            checkEq(0, BCRScannerController.deliveries.size(), "nothing delivered");
        }));
        cases.add(new Named("a missing method drops the result, the next good name delivers", () -> {
            behave(line("cycle.event=1"), line("cycle.code=5"), line("cycle.data", ascii("dropped")));
            int delivered = journalCount("cycle-deliver");
            checkEq(0, cycle(c, "noSuchMethod").size(), "dropped");
            checkEq(delivered + 1, journalCount("cycle-deliver"), "the cycle delivered");
            checkDelivery(single(cycle(c, "onScanOther")), 1, 5, ascii("dropped"), null, 7);
            checkEq("onScanOther", cycle(c, "onScanOther").get(0).method, "again");
        }));
        cases.add(new Named("a throwing method is cleared, the next cycle delivers", () -> {
            behave(line("cycle.event=1"), line("cycle.code=6"), line("cycle.data", ascii("thrown")));
            checkEq("onScanThrow", single(cycle(c, "onScanThrow")).method, "called");
            checkEq("onScanThrow", single(cycle(c, "onScanThrow")).method, "called again");
            checkDelivery(single(cycle(c, "onScanResult")), 1, 6, ascii("thrown"), null, 6);
        }));
        cases.add(new Named("an overlong name starts nothing", () -> {
            int starts = journalCount("start ");
            char[] name = new char[200];
            Arrays.fill(name, 'a');
            check(!c.JNI_CmStartDecode(new String(name), 0), "200 characters");
            Arrays.fill(name, 'b');
            check(!c.JNI_CmStartDecode(new String(name, 0, 128), 0), "128 characters");
            check(!c.JNI_CmStartDecode(null, 0), "null name");
            checkEq(starts, journalCount("start "), "no start reached the engine");
            behave(line("cycle.event=4"));
            checkDelivery(single(cycle(c, "onScanResult")), 4, 0, null, null, 0);
        }));
        cases.add(new Named("lengths beyond the buffer give no call", () -> {
            String[][] table = {
                {"cycle.kind=1", "cycle.len1=" + (CAPACITY + 1), "cycle.len2=0"},
                {"cycle.kind=1", "cycle.len1=-1", "cycle.len2=0"},
                {"cycle.kind=2", "cycle.len1=" + (CAPACITY - 10), "cycle.len2=5"},
                {"cycle.kind=2", "cycle.len1=5", "cycle.len2=-1"},
                {"cycle.kind=3", "cycle.len1=5", "cycle.len2=0"},
            };
            for (String[] row : table) {
                behave(line("cycle.event=1"), line("cycle.data", ascii("abcde")), line("cycle.data2", ascii("fghij")),
                       line(row[0]), line(row[1]), line(row[2]));
                checkEq(0, cycle(c, "onScanResult").size(), String.join(" ", row));
            }
            // Just inside: the whole buffer.
            behave(line("cycle.event=1"), line("cycle.kind=1"), line("cycle.len1=" + CAPACITY));
            Delivery d = single(cycle(c, "onScanResult"));
            checkEq(CAPACITY, d.first.length, "whole buffer");
        }));
        cases.add(new Named("callbacks keep threads and heap", () -> {
            int rounds = Integer.getInteger("scenario.rounds", 2000);
            byte[] data = bytes(4000, 1);
            behave(line("cycle.event=1"), line("cycle.code=3"), line("cycle.data", data));
            // A first round so that every class and buffer is in place.
            for (int i = 0; i < 50; ++i) single(cycle(c, "onScanResult"));
            int threads = ManagementFactory.getThreadMXBean().getThreadCount();
            long tasks = osThreads();
            long heap = usedHeap();
            long peak = 0;
            for (int i = 0; i < rounds; ++i) {
                BCRScannerController.deliveries.clear();
                check(c.JNI_CmStartDecode("onScanResult", 0), "start");
                Delivery d = take();
                check(d.first.length == 4000, "data");
                peak = Math.max(peak, ManagementFactory.getThreadMXBean().getThreadCount());
            }
            awaitIdle();
            checkEq(threads, ManagementFactory.getThreadMXBean().getThreadCount(), "Java threads");
            checkEq(tasks, osThreads(), "threads of the process");
            long grown = usedHeap() - heap;
            System.out.println("callbacks: " + rounds + ", heap grown " + grown + " bytes, threads " + threads
                               + " (peak " + peak + ")");
            // A leaked array per call would be 4000 bytes each: 8 MB for 2,000.
            check(grown < 2L * 1024 * 1024, "heap grew by " + grown);
        }));
        runAll(cases);
        System.out.printf("JNI_Init to ready: %.1f ms%n", initToReady[0] / 1e6);
        return finish();
    }

    // Waits until the last cycle has closed.
    static void awaitIdle() throws Exception {
        long end = System.currentTimeMillis() + HANG_GUARD_MS;
        while (journalCount("cycle-open") != journalCount("cycle-close")) {
            check(System.currentTimeMillis() < end, "cycles close");
            Thread.sleep(1);
        }
    }

    static long osThreads() throws Exception {
        try (java.util.stream.Stream<Path> s = Files.list(Paths.get("/proc/self/task"))) {
            return s.count();
        }
    }

    static long usedHeap() {
        Runtime r = Runtime.getRuntime();
        for (int i = 0; i < 3; ++i) System.gc();
        return r.totalMemory() - r.freeMemory();
    }

    public static void main(String[] args) throws Exception {
        int result;
        switch (args.length > 0 ? args[0] : "") {
            case "load-missing": result = loadMissing(); break;
            case "service": result = service(); break;
            default:
                System.out.println("usage: JniScenarios load-missing|service");
                result = 2;
        }
        System.exit(result);
    }
}
