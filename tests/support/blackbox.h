// The blackbox runner: folders of sample images with their expected contents beside them,
// decoded one by one, with a minimum number of passes per folder that only goes up.
//
// Beside IMAGE.png (or .pgm): IMAGE.txt (expected text) or IMAGE.bin (expected bytes), and
// optionally IMAGE.result.txt with key=value lines; "symbologyIdentifier" is compared with
// the identifier read. Images BASE-1.png, BASE-2.png, ... without expected content of
// their own are the parts of a multi-symbol set whose joined text is BASE.txt (or .bin):
// the set counts once, and passes when the parts' texts in name order join to it. Other
// images without expected content are listed and not counted. Folders whose name starts
// with "falsepositives" hold images without codes: any read there fails.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "support/decoder_api.h"
#include "support/frame.h"

namespace testkit {

using FrameDecoder = std::function<DecodeResult(const Frame &)>;

// Where this decoder's documented output differs from a convention the expected texts
// follow, a rule brings the two together for the folders it names.
struct NormalisationRule {
    const char *folderPrefix;  // applies to folders whose name starts with this
    const char *why;
    void (*apply)(std::string *expectedText, std::map<std::string, std::string> *expectedKeys, DecodeResult *read);
};

// The rules the shared corpus needs (its expected texts follow another reader's conventions).
std::span<const NormalisationRule> CorpusRules();

// A decoder option that a corpus folder's expected texts assume, set through the exported
// Set (key, value) after the symbologies are switched on.
struct FolderSetting {
    const char *folderPrefix;  // applies to folders whose name starts with this
    uint32_t key;
    uint32_t value;
    const char *why;
};
std::span<const FolderSetting> FolderSettings();

// Sets every setting of the folder through api; answers how many the decoder refused.
int ApplyFolderSettings(const DecoderApi &api, const std::string &folder);

struct ImageOutcome {
    std::string name;         // file name within the folder; "BASE-*" for a set
    bool loaded = false;
    bool hasExpected = false;
    bool passed = false;
    bool scaled = false;
    std::string problem;      // load error or what differed
};

struct FolderResult {
    std::string folder;
    bool falsePositives = false;
    int images = 0;     // images found
    int expected = 0;   // images with expected content
    int passed = 0;     // read exactly as expected
    int reads = 0;      // images that gave any read
    int unreadable = 0; // images that would not load
    std::vector<ImageOutcome> outcomes;
};

bool IsFalsePositiveFolder(const std::string &folder);

// The PNG and PGM images of a folder of the shared corpus (STACK_CORPUS_DIR, or ../shared/corpus
// beside the source tree), sorted by path; empty when the folder is not there.
std::vector<std::string> CorpusImages(const std::string &folder);

// Decodes every image of one folder (sorted by name), each scaled down to the decoder's
// frame limit first when larger.
FolderResult RunBlackboxFolder(const std::filesystem::path &dir, const FrameDecoder &decode,
                               std::span<const NormalisationRule> rules = {});

struct Floor {
    std::string folder;
    int minimum = 0;
    bool named = false;                // the line names its misses
    std::vector<std::string> misses;  // image names (ImageOutcome::name) expected to miss
};

// Lines "FOLDER MINIMUM", or "FOLDER MINIMUM misses: NAME..." naming every image expected to
// miss; '#' starts a comment. False with a reason naming the line on a bad line or a folder
// named twice.
bool ReadFloors(const std::filesystem::path &file, std::vector<Floor> *floors, std::string *error);

struct Verdict {
    bool ok = false;
    std::string message;  // one line
};

// Below the floor (or any read in a false-positive folder) fails; above the floor passes
// and asks for the floor to be raised.
Verdict JudgeFolder(const FolderResult &result, int floor, const std::string &floorsFileName);
// As above; where the floor names its misses, an image that misses without being named
// fails too, and a named one that reads is reported.
Verdict JudgeFolder(const FolderResult &result, const Floor &floor, const std::string &floorsFileName);

// Sub-folders of the corpus, sorted.
std::vector<std::string> ListCorpusFolders(const std::filesystem::path &corpus);

}  // namespace testkit
