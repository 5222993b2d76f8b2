// Runtime utilities: properties, directory searches, the library search, directories,
// copies, conversions, the hex dump and the intrusive list.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "readercore.h"
#include "service_log.h"
#include "zptlog.h"

namespace {

using RuntimeTest = ServiceTest;

// ---- properties ----

TEST_F(RuntimeTest, PropertyDefaultsApplyWhenMissingOrEmpty) {
    char value[PROPERTY_VALUE_MAX];
    EXPECT_EQ(property_get("persist.sys.wait", value, "NONE"), 4);
    EXPECT_STREQ(value, "NONE");
    EXPECT_EQ(property_get("persist.sys.wait", value, nullptr), 0);
    EXPECT_STREQ(value, "");
    ASSERT_EQ(property_set("persist.sys.wait", ""), 0);
    EXPECT_EQ(property_get("persist.sys.wait", value, "dflt"), 4);
    ASSERT_EQ(property_set("persist.sys.wait", "/data/ready"), 0);
    EXPECT_EQ(property_get("persist.sys.wait", value, "dflt"), 11);
    EXPECT_STREQ(value, "/data/ready");
    EXPECT_EQ(property_get(nullptr, value, "x"), -1);
    EXPECT_EQ(property_get("a", nullptr, "x"), -1);
}

TEST_F(RuntimeTest, LongDefaultIsCutToTheValueSize) {
    char value[PROPERTY_VALUE_MAX + 8];
    memset(value, 'z', sizeof value);
    std::string long_default(200, 'd');
    EXPECT_EQ(property_get("ro.build.scanner.api", value, long_default.c_str()), PROPERTY_VALUE_MAX - 1);
    EXPECT_EQ(std::string(value), std::string(PROPERTY_VALUE_MAX - 1, 'd'));
    EXPECT_EQ(value[PROPERTY_VALUE_MAX], 'z');
}

TEST_F(RuntimeTest, PropertyValuesHaveALimit) {
    char value[PROPERTY_VALUE_MAX];
    std::string longest(PROPERTY_VALUE_MAX - 1, 'v');
    EXPECT_EQ(property_set("persist.sys.scan.info", longest.c_str()), 0);
    EXPECT_LT(property_set("persist.sys.scan.info", (longest + "w").c_str()), 0);
    EXPECT_EQ(property_get("persist.sys.scan.info", value, nullptr), PROPERTY_VALUE_MAX - 1);
    EXPECT_EQ(std::string(value), longest);
    EXPECT_LT(property_set("../escape", "x"), 0);
    EXPECT_LT(property_set(nullptr, "x"), 0);
}

TEST_F(RuntimeTest, IntegerProperties) {
    EXPECT_EQ(property_get_integer("persist.sys.upgrade.type", "12"), 12);
    ASSERT_EQ(property_set("persist.sys.upgrade.type", "37"), 0);
    EXPECT_EQ(property_get_integer("persist.sys.upgrade.type", "12"), 37);
    ASSERT_EQ(property_set("persist.sys.upgrade.type", "x"), 0);
    EXPECT_EQ(property_get_integer("persist.sys.upgrade.type", "12"), 0);
}

TEST_F(RuntimeTest, PropertiesAreSharedBetweenProcesses) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(property_set("persist.sys.scan.display", "RV21 2D Engine") == 0 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    char value[PROPERTY_VALUE_MAX];
    EXPECT_EQ(property_get("persist.sys.scan.display", value, nullptr), 14);
    EXPECT_STREQ(value, "RV21 2D Engine");
}

// ---- directory searches ----

TEST_F(RuntimeTest, ConfigurationSearchTakesTheFirstDirectoryHoldingTheFile) {
    const char *dirs[] = {"/storage/sdcard0/Tessaline/xml/", "/unrecoverable/xml/", "/system/usr/xml/"};
    struct Case {
        unsigned present;  // bit i: the file is in dirs[i]
        int want;
    };
    const Case cases[] = {{0, 0}, {4, 3}, {6, 2}, {7, 1}, {5, 1}, {2, 2}};
    for (const Case &c : cases) {
        std::string name = "CONFIG" + std::to_string(c.present) + ".xml";
        for (int i = 0; i < 3; ++i)
            if (c.present & (1u << i)) write_file(std::string(dirs[i]) + name, "<x/>");
        char out[RT_PATH_MAX] = "untouched";
        EXPECT_EQ(GetConfigPath(out, name.c_str()), c.want) << c.present;
        if (c.want > 0) {
            std::string path = std::string(dirs[c.want - 1]) + name;
            EXPECT_EQ(std::string(out), path);
            EXPECT_TRUE(logged("Found File [" + path + "]"));
            EXPECT_NE(logcat_text().find("D/ScanJni: Found File [" + path + "]"), std::string::npos);
        } else {
            EXPECT_STREQ(out, "untouched");
        }
    }
    char out[RT_PATH_MAX];
    EXPECT_EQ(GetConfigPath(out, nullptr), 0);
    EXPECT_EQ(GetConfigPath(nullptr, "CONFIG7.xml"), 0);
}

TEST_F(RuntimeTest, UserConfigurationSearchLogsEveryCandidate) {
    write_file("/mnt/sdcard/ZPTConfig.xml", "<c/>");
    write_file("/system/usr/xml/ZPTConfig.xml", "<c/>");
    char out[RT_PATH_MAX];
    EXPECT_EQ(GetUserConfigPath(out, "ZPTConfig.xml"), 2);
    EXPECT_STREQ(out, "/mnt/sdcard/ZPTConfig.xml");
    std::string log = log_text();
    size_t first = log.find("GetUserConfigPath [/data/corvane/ZPTConfig.xml]");
    size_t second = log.find("GetUserConfigPath [/mnt/sdcard/ZPTConfig.xml]");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_EQ(log.find("GetUserConfigPath [/system/usr/xml/ZPTConfig.xml]"), std::string::npos);
}

TEST_F(RuntimeTest, CacheSearchNeverAnswersThree) {
    write_file("/cache/Decode.db", "db");
    char out[RT_PATH_MAX];
    EXPECT_EQ(GetCachePath(out, "Decode.db"), 2);
    EXPECT_STREQ(out, "/cache/Decode.db");
    write_file("/storage/sdcard0/Tessaline/cache/Decode.db", "db");
    EXPECT_EQ(GetCachePath(out, "Decode.db"), 1);
}

TEST_F(RuntimeTest, CachePathForIndexDoesNotTest) {
    const char *want[] = {"/storage/sdcard0/Tessaline/cache/a.db", "/cache/a.db", "/cache/a.db"};
    char out[RT_PATH_MAX];
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(GetCachePathForIndex(out, "a.db", i), 0);
        EXPECT_STREQ(out, want[i]);
    }
    EXPECT_EQ(GetCachePathForIndex(out, "a.db", -1), -1);
    EXPECT_EQ(GetCachePathForIndex(out, "a.db", 3), -1);
    EXPECT_EQ(GetCachePathForIndex(nullptr, "a.db", 0), -1);
    EXPECT_EQ(GetCachePathForIndex(out, nullptr, 0), -1);
}

// A candidate longer than the path buffer is not tried: cutting it would test another
// file.
TEST_F(RuntimeTest, CandidatesThatDoNotFitAreNotTried) {
    // "/cache/" + name is 499 characters for the first name, 500 for the second.
    std::string dir = std::string(200, 'a') + "/" + std::string(200, 'b') + "/";
    std::string fits = dir + std::string(499 - 7 - dir.size(), 'c');
    std::string too_long = fits + "d";
    write_file("/cache/" + fits, "x");
    char out[RT_PATH_MAX];
    EXPECT_EQ(GetCachePath(out, fits.c_str()), 2);
    EXPECT_EQ(std::string(out), "/cache/" + fits);
    // Only the cut form of too_long exists: it must not be found.
    EXPECT_EQ(GetCachePath(out, too_long.c_str()), 0);
    EXPECT_EQ(GetCachePathForIndex(out, too_long.c_str(), 1), -1);
}

TEST_F(RuntimeTest, LibrarySearchLoadsFromTheFirstDirectoryWhereItLoads) {
    std::string module = read_host_file(SVC_TEST_MODULE);
    ASSERT_FALSE(module.empty());
    write_file("/unrecoverable/lib64/libsvcmod.so", module);
    void *handle = GetLibHandle("libsvcmod.so");
    ASSERT_NE(handle, nullptr);
    auto answer = reinterpret_cast<int (*)()>(dlsym(handle, "svc_test_module_answer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    dlclose(handle);
    EXPECT_TRUE(logged("Found Library [/unrecoverable/lib64/libsvcmod.so]"));
}

TEST_F(RuntimeTest, LibrarySearchSkipsFilesThatDoNotLoad) {
    write_file("/unrecoverable/lib64/libsvcmod2.so", "not a library");
    write_file("/system/lib64/libsvcmod2.so", read_host_file(SVC_TEST_MODULE));
    void *handle = GetLibHandle("libsvcmod2.so");
    ASSERT_NE(handle, nullptr);
    dlclose(handle);
    EXPECT_TRUE(logged("Found Library [/system/lib64/libsvcmod2.so]"));
    EXPECT_FALSE(logged("Found Library [/unrecoverable/lib64/libsvcmod2.so]"));
    EXPECT_EQ(GetLibHandle("libsvcmissing.so"), nullptr);
    EXPECT_EQ(GetLibHandle(nullptr), nullptr);
    EXPECT_FALSE(logged("libsvcmissing"));
}

// ---- files and directories ----

TEST_F(RuntimeTest, CreateDirMakesEveryMissingLevel) {
    EXPECT_EQ(CreateDir("/data/yuv/a/b"), 0);
    EXPECT_EQ(is_dir_exit("/data/yuv/a/b"), 0);
    EXPECT_EQ(CreateDir("/data/yuv/a/b/"), 0);
    EXPECT_EQ(CreateDir("/data/yuv/a/c"), 0);
    EXPECT_EQ(is_dir_exit("/data/yuv/a/c"), 0);
    write_file("/data/plain", "f");
    EXPECT_EQ(CreateDir("/data/plain/sub"), -1);
    EXPECT_EQ(CreateDir(nullptr), -1);
    EXPECT_EQ(CreateDir(""), -1);
}

TEST_F(RuntimeTest, CreateDirTakesPathsUpTo254Characters) {
    std::string path = "/data";
    while (path.size() + 50 <= 254) path.append(1, '/').append(49, 'p');
    path.append(1, '/');
    path.append(254 - path.size(), 'q');
    ASSERT_EQ(path.size(), 254u);
    EXPECT_EQ(CreateDir(path.c_str()), 0);
    EXPECT_EQ(is_dir_exit(path.c_str()), 0);
    EXPECT_EQ(CreateDir((path + "r").c_str()), -1);
    EXPECT_EQ(is_dir_exit((path + "r").c_str()), -1);
}

TEST_F(RuntimeTest, FileTestsAndSizes) {
    write_file("/data/f.bin", std::string(1234, 'x'));
    make_dirs("/data/d");
    EXPECT_EQ(u_fileexist("/data/f.bin"), 0);
    EXPECT_EQ(u_fileexist("/data/missing"), -1);
    EXPECT_EQ(u_fileexist(nullptr), -1);
    EXPECT_EQ(is_dir_exit("/data/d"), 0);
    EXPECT_EQ(is_dir_exit("/data/f.bin"), -1);
    EXPECT_EQ(is_dir_exit(nullptr), -1);
    EXPECT_EQ(get_file_size("/data/f.bin"), 1234);
    EXPECT_EQ(get_file_size("/data/missing"), 0);
}

TEST_F(RuntimeTest, CopyFileCopiesEveryByte) {
    std::string content("a\0b\xff\n", 5);
    content += std::string(70000, 'z');
    write_file("/system/usr/xml/CONFIG.xml", content);
    write_file("/data/corvane/CONFIG.xml", std::string(100000, 'o'));
    EXPECT_EQ(copy_file("/system/usr/xml/CONFIG.xml", "/data/corvane/CONFIG.xml"), static_cast<int>(content.size()));
    EXPECT_EQ(read_file("/data/corvane/CONFIG.xml"), content);
}

TEST_F(RuntimeTest, CopyFileLeavesDestinationAloneWithoutSource) {
    write_file("/data/empty", "");
    EXPECT_EQ(copy_file("/data/empty", "/data/out1"), 0);
    EXPECT_EQ(copy_file("/data/missing", "/data/out2"), 0);
    EXPECT_FALSE(exists("/data/out1"));
    EXPECT_FALSE(exists("/data/out2"));
    write_file("/data/src", "abc");
    EXPECT_EQ(copy_file("/data/src", "/nodir/out"), -1);
    EXPECT_TRUE(logged("Open /nodir/out Error"));
}

TEST_F(RuntimeTest, CopyXmlPlainModeCopiesAndEncryptedModesNeverWriteUntransformedBytes) {
    write_file("/data/src.xml", "<root><a>1</a></root>");
    EXPECT_EQ(copy_xml("/data/src.xml", "/data/plain.xml", 0, "Kwd7315"), 21);
    EXPECT_EQ(read_file("/data/plain.xml"), "<root><a>1</a></root>");
    EXPECT_EQ(copy_xml("/data/src.xml", "/data/nokey.xml", 1, nullptr), 21);
    EXPECT_EQ(read_file("/data/nokey.xml"), "<root><a>1</a></root>");
    for (int mode : {1, 2}) {
        std::string dst = "/data/enc" + std::to_string(mode) + ".xml";
        EXPECT_LT(copy_xml("/data/src.xml", dst.c_str(), mode, "Kwd7315"), 0) << mode;
        EXPECT_FALSE(exists(dst)) << mode;
    }
}

// ---- conversions ----

TEST_F(RuntimeTest, HexDigitValues) {
    const std::pair<char, int> cases[] = {
        {'0', 0},  {'9', 9},  {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15}, {'/', 0},   {' ', 0},
        {'\0', 0}, {':', 10}, {'G', 23}, {'g', 55}, {'z', 74}, {'~', 78}, {static_cast<char>(0xC0), 0x90},
    };
    for (const auto &c : cases) EXPECT_EQ(BCDToHEX(c.first), c.second) << static_cast<int>(c.first);
    EXPECT_EQ(HEXToBCD(0x25), 25);
    EXPECT_EQ(HEXToBCD(0x99), 99);
    EXPECT_EQ(HEXToBCD(0x00), 0);
    EXPECT_EQ(HEXHigh(0xAB), 0x0A);
    EXPECT_EQ(HEXLow(0xAB), 0x0B);
}

TEST_F(RuntimeTest, StringToHex8BitTokens) {
    struct Case {
        const char *text;
        int capacity;
        int want;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"1#2A#ff", 8, 3, {0x01, 0x2A, 0xFF}},
        {"", 8, 0, {}},
        {"###", 8, 0, {}},
        {"#7##08#", 8, 2, {0x07, 0x08}},
        {"123", 8, 1, {0x12}},
        {"zz", 8, 1, {0x4A}},
        {"1#2#3", 3, 3, {1, 2, 3}},
        {"1#2#3", 2, -1, {1, 2}},
        {"ab", 0, -1, {}},
    };
    for (const Case &c : cases) {
        std::string text = c.text;
        std::vector<uint8_t> out(8, 0xEE);
        EXPECT_EQ(StringToHex8Bit(text.data(), out.data(), c.capacity), c.want) << c.text;
        EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + static_cast<long>(c.bytes.size())), c.bytes) << c.text;
        EXPECT_EQ(out[c.bytes.size()], 0xEE) << c.text << ": wrote past what it reported";
    }
    char text[] = "1";
    EXPECT_EQ(StringToHex8Bit(nullptr, nullptr, 4), -1);
    EXPECT_EQ(StringToHex8Bit(text, nullptr, 4), -1);
}

TEST_F(RuntimeTest, ConverStrtoHexValues) {
    EXPECT_EQ(ConverStrtoHex("12", 1), 1);
    EXPECT_EQ(ConverStrtoHex("12", 2), 0x12);
    EXPECT_EQ(ConverStrtoHex("zz", 2), 4335);
    EXPECT_EQ(ConverStrtoHex("1A", 9), 0x1A);
    EXPECT_EQ(ConverStrtoHex("a-", 2), 0xA * 16 + 255);
    EXPECT_EQ(ConverStrtoHex("", 3), 0);
    EXPECT_EQ(ConverStrtoHex("FF", 0), 0);
    EXPECT_EQ(ConverStrtoHex("FF", -4), 0);
    EXPECT_EQ(ConverStrtoHex(nullptr, 4), 0);
    // Twenty digits overflow 64 bits: the sum wraps.
    uint64_t want = 0;
    for (int i = 0; i < 20; ++i) want = want * 16 + 0xF;
    EXPECT_EQ(ConverStrtoHex("FFFFFFFFFFFFFFFFFFFF", 20), static_cast<int64_t>(want));
}

TEST_F(RuntimeTest, CodeIdTableLookup) {
    const uint8_t table[] = {0x10, 1, 0x20, 2, 0x30, 3, 0};
    EXPECT_EQ(searchcodeid(table, 0x20), 2);
    EXPECT_EQ(searchcodeid(table, 0x120), 2);
    EXPECT_EQ(searchcodeid(table, 0x40), 0xFF);
    EXPECT_EQ(searchcodeid(table, 0), 0xFF);
    EXPECT_EQ(searchcodeid(nullptr, 0x10), 0xFF);
}

TEST_F(RuntimeTest, PlatformIdentifiers) {
    const std::pair<const char *, int> cases[] = {
        {"MSM8X12_TX52", 1}, {"MSM8909_TX07", 2}, {"MT6735_TX52W", 3}, {"MT6735_TX52", 0}, {"", 0}, {nullptr, 0},
    };
    for (const auto &c : cases) EXPECT_EQ(get_platform_type(c.first), c.second) << (c.first ? c.first : "null");
    EXPECT_STREQ(get_platform_name(1), "MSM8X12_TX52");
    EXPECT_STREQ(get_platform_name(3), "MT6735_TX52W");
    EXPECT_STREQ(get_platform_name(0), "Unknow");
    EXPECT_STREQ(get_platform_name(4), "Unknow");
    EXPECT_STREQ(get_platform_name(-1), "Unknow");
}

TEST_F(RuntimeTest, TimeSubtractBorrowsASecond) {
    struct Case {
        timeval start, end;
        int64_t want;
    };
    const Case cases[] = {
        {{5, 900000}, {6, 100000}, 200000}, {{1, 0}, {3, 500}, 2000500}, {{7, 7}, {7, 7}, 0},
        {{6, 100000}, {5, 900000}, 0},      {{6, 5}, {6, 4}, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(time_subtract(&c.start, &c.end), c.want) << c.start.tv_sec;
    EXPECT_EQ(time_subtract(nullptr, &cases[0].end), 0);
}

TEST_F(RuntimeTest, HexDumpLinesOfSixteen) {
    std::vector<uint8_t> bytes(20);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 0xF0);
    LogPrintHex("rx", bytes.data(), 20);
    EXPECT_EQ(log_text(),
              "rx (20 Bytes)\n"
              "00000000: F0 F1 F2 F3 F4 F5 F6 F7 - F8 F9 FA FB FC FD FE FF \n"
              "00000010: 00 01 02 03 \n");
    EXPECT_NE(logcat_text().find("D/ScanJni: 00000010: 00 01 02 03 \n"), std::string::npos);
}

TEST_F(RuntimeTest, HexDumpOfWholeLinesAndNothing) {
    std::vector<uint8_t> bytes(32, 0xAB);
    LogPrintHex("tx", bytes.data(), 16);
    LogPrintHex("none", bytes.data(), 0);
    LogPrintHex(nullptr, bytes.data(), 4);
    LogPrintHex("null", nullptr, 4);
    EXPECT_EQ(log_text(),
              "tx (16 Bytes)\n"
              "00000000: AB AB AB AB AB AB AB AB - AB AB AB AB AB AB AB AB \n"
              "none (0 Bytes)\n");
}

TEST_F(RuntimeTest, HexDumpFollowsTheLevel) {
    log_set_level(0x10);
    FileTail after(service_log_file());
    FileTail logcat(service_logcat_file());
    uint8_t b = 1;
    LogPrintHex("quiet", &b, 1);
    EXPECT_EQ(after.text(), "");
    EXPECT_EQ(logcat.text(), "");
}

// ---- intrusive list ----

struct Item {
    int value;
    list_head link;
};

std::vector<int> walk(list_head *head) {
    std::vector<int> out;
    for (list_head *l = head->next; l != head && out.size() < 16; l = l->next)
        out.push_back(reinterpret_cast<Item *>(reinterpret_cast<char *>(l) - offsetof(Item, link))->value);
    return out;
}

TEST_F(RuntimeTest, IntrusiveListOrders) {
    list_head head;
    list_init(&head);
    EXPECT_EQ(head.next, &head);
    EXPECT_EQ(head.prev, &head);
    Item a{1, {}}, b{2, {}}, c{3, {}}, d{4, {}};
    list_add_tail(&head, &a.link);
    list_add_tail(&head, &b.link);
    EXPECT_EQ(walk(&head), std::vector<int>({1, 2}));
    list_add(&c.link, &head);
    EXPECT_EQ(walk(&head), std::vector<int>({3, 1, 2}));
    __list_add(&d.link, &a.link, &b.link);
    EXPECT_EQ(walk(&head), std::vector<int>({3, 1, 4, 2}));
    list_del(&a.link);
    EXPECT_EQ(a.link.next, nullptr);
    EXPECT_EQ(a.link.prev, nullptr);
    EXPECT_EQ(walk(&head), std::vector<int>({3, 4, 2}));
    EXPECT_EQ(head.prev, &b.link);
    __list_del(&head, &d.link);
    EXPECT_EQ(walk(&head), std::vector<int>({4, 2}));
    list_del(&d.link);
    list_del(&b.link);
    EXPECT_EQ(head.next, &head);
    EXPECT_EQ(head.prev, &head);
}

}  // namespace
