// XML access with the real XML library loaded at run time under the test root: loading,
// the search, read, visit and update operations over plain and decrypted documents,
// bounds on every buffer, hostile documents, absent library functions, the static copy.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <libxml/tree.h>

#include <string>
#include <vector>

#include "config_test.h"

namespace {

using svc_sandbox::kConfigKey;

using XmlTest = ConfigTest;

std::string text_of(XML_NODE *node) {
    char *text = XMLNodeGetContent(node);
    std::string result = text != nullptr ? text : "<null>";
    free(text);
    return result;
}

std::string escaped(const char *bytes, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += bytes[i] == '\0' ? std::string("\\0") : std::string(1, bytes[i]);
    return out;
}

// ---- visit recorders ----

struct LoopRecord {
    const char *stop_at = "";
    std::string seen;
};

int record_attr(XML_NODE *, char *attr, char *text, void *arg) {
    auto *record = static_cast<LoopRecord *>(arg);
    record->seen += std::string(attr) + "=" + text + ";";
    return strcmp(attr, record->stop_at) == 0 ? 0 : -1;
}

void record_text(XML_NODE *, char *text, void *arg) { *static_cast<std::string *>(arg) += std::string(text) + ";"; }

void record_name(XML_NODE *, const char *name, void *arg) {
    *static_cast<std::string *>(arg) += std::string(name) + ";";
}

std::string loop(XML_HANDLE *h, const char *parent, const char *name, const char *stop_at) {
    LoopRecord record;
    record.stop_at = stop_at;
    int result = XMLLoopReadAndProcess(h, XMLFindCur(h, nullptr, parent), name, "name", record_attr, &record);
    return record.seen + "|" + std::to_string(result);
}

// The text of the first of QRCode and its following siblings whose kind is kind.
std::string read_kind(XML_HANDLE *h, const char *kind) {
    char out[32] = {};
    int n = XMLReadString(h, nullptr, "QRCode", "kind", kind, out, sizeof out - 1);
    return std::to_string(n) + " " + out;
}

// Aztec's text and its attribute, into an attribute buffer of four 'x'.
std::string read_name_value(XML_HANDLE *h, const char *attr_name) {
    char attr[4] = {'x', 'x', 'x', 'x'};
    char out[32] = {};
    int n = XMLReadStringGetNameValue(h, nullptr, "Aztec", attr_name, attr, 4, out, sizeof out - 1);
    return std::to_string(n) + " [" + escaped(attr, 4) + "] " + out;
}

// ---- the table of the operations' edge cases ----

struct XmlCase {
    const char *what;
    std::string (*run)(XML_HANDLE *h);
    const char *want;
};

const XmlCase kXmlCases[] = {
    {"find: a deeper match that precedes a shallower one",
     [](XML_HANDLE *h) { return text_of(XMLFindCur(h, nullptr, "Name")); }, "probe-name"},
    {"find: a name differing only in case", [](XML_HANDLE *h) { return text_of(XMLFindCur(h, nullptr, "qrcode")); },
     "QR Code"},
    {"find once: a name differing only in case",
     [](XML_HANDLE *h) { return text_of(XMLFindCurOnce(h, XMLFindCur(h, nullptr, "CODE"), "qrcode")); }, "QR Code"},
    {"find once: only direct children", [](XML_HANDLE *h) { return text_of(XMLFindCurOnce(h, nullptr, "QRCode")); },
     "<null>"},
    {"call proc: a name differing only in case",
     [](XML_HANDLE *h) {
         std::string seen;
         XMLFindCurCallProc(h, XMLFindCur(h, nullptr, "Code"), "QRCODE", record_text, &seen);
         return seen;
     },
     "QR Code;"},
    {"set content: a name differing only in case",
     [](XML_HANDLE *h) {
         XMLSetCurNodeContent(h, XMLFindCur(h, nullptr, "Code"), "qrcode", "changed");
         return text_of(XMLFindCur(h, nullptr, "QRCode"));
     },
     "changed"},
    {"loop: names compared with case, lower", [](XML_HANDLE *h) { return loop(h, "Setting", "cmd", ""); },
     "lower=four;|-1"},
    {"loop: names compared with case, upper", [](XML_HANDLE *h) { return loop(h, "Setting", "Cmd", ""); },
     "first=one;second=two;third=three;|-1"},
    {"loop: stops at the first procedure answering 0",
     [](XML_HANDLE *h) { return loop(h, "Setting", "Cmd", "second"); }, "first=one;second=two;|0"},
    {"loop: no matching child", [](XML_HANDLE *h) { return loop(h, "Setting", "Missing", ""); }, "|-1"},
    {"read string: the filter accepts a following sibling of another name",
     [](XML_HANDLE *h) { return read_kind(h, "matrix"); }, "5 Aztec"},
    {"read string: the filter's value counts case", [](XML_HANDLE *h) { return read_kind(h, "Matrix"); }, "0 "},
    {"read string: an older longer text's tail stays behind",
     [](XML_HANDLE *h) {
         char out[17] = "abcdefghijklmnop";
         XMLReadString(h, nullptr, "Cmd", nullptr, nullptr, out, 16);
         return std::string(out);
     },
     "onedefghijklmnop"},
    {"name value: an absent attribute leaves one zero byte",
     [](XML_HANDLE *h) { return read_name_value(h, "value0"); }, "5 [\\0xxx] Aztec"},
    {"name value: a present attribute", [](XML_HANDLE *h) { return read_name_value(h, "name"); },
     "5 [AZxx] Aztec"},
    {"children count: an empty element is not counted",
     [](XML_HANDLE *h) { return std::to_string(XMLGetChildrenCount(XMLFindCur(h, nullptr, "Code"))); }, "3"},
    {"children info: an empty element is not visited",
     [](XML_HANDLE *h) {
         std::string seen;
         EXPECT_EQ(XMLGetChildrenInfo(XMLFindCur(h, nullptr, "Code"), record_name, &seen), 0);
         return seen;
     },
     "QRCode;Aztec;DataMatrix;"},
    {"children call proc: an empty element is not visited",
     [](XML_HANDLE *h) {
         std::string seen;
         XMLFindChildrenCallProc(h, nullptr, "code", record_name, &seen);
         return seen;
     },
     "QRCode;Aztec;DataMatrix;"},
    {"children call proc: without a name, the root's children",
     [](XML_HANDLE *h) {
         std::string seen;
         XMLFindChildrenCallProc(h, nullptr, nullptr, record_name, &seen);
         return seen;
     },
     "Probe;Name;Code;Setting;Value;"},
    {"sub names: every child but texts, the empty one too",
     [](XML_HANDLE *h) {
         LoopRecord record;
         int result = XMLFindCurCallProcForSubName(h, XMLFindCur(h, nullptr, "Code"), "name", record_attr, &record);
         return record.seen + "|" + std::to_string(result);
     },
     "QR=QR Code;AZ=Aztec;=;DM=Data Matrix;|-1"},
    {"get content: the text and its length",
     [](XML_HANDLE *h) {
         int length = -1;
         char *text = XMLGetContent(XMLFindCur(h, nullptr, "DataMatrix"), &length);
         std::string result = std::string(text) + " " + std::to_string(length);
         free(text);
         return result;
     },
     "Data Matrix 11"},
    {"attribute node: its text", [](XML_HANDLE *h) {
         return text_of(XMLGetAtter(XMLFindCur(h, nullptr, "QRCode"), "value3")) + "," +
                text_of(XMLGetAtter(XMLFindCur(h, nullptr, "QRCode"), "value1"));
     },
     "65537,<null>"},
};

// The same table over the document parsed from its file and decrypted from memory.
TEST_F(XmlTest, OperationsOverPlainAndDecryptedDocuments) {
    link(svc_sandbox::kXml | svc_sandbox::kCrypto);
    svc_sandbox::Vars vars = {{"ATTR", "v"}, {"VALUE", "value"}};
    write_config("/system/usr/xml/engine.xml", "engine.xml", vars, false);
    write_config("/system/usr/xml/engineEN", "engine.xml", vars, true);
    for (bool encrypted : {false, true}) {
        for (const XmlCase &c : kXmlCases) {
            XML_HANDLE *h = encrypted ? XMLOpenDecrypt("/system/usr/xml/engineEN", kConfigKey)
                                      : XMLOpen("/system/usr/xml/engine.xml");
            ASSERT_NE(h, nullptr) << encrypted;
            EXPECT_EQ(c.run(h), c.want) << c.what << (encrypted ? " (decrypted)" : " (plain)");
            EXPECT_EQ(XMLClose(h), 0);
        }
    }
}

TEST_F(XmlTest, LoadingNamesTheLibraryThatWasFound) {
    struct Case {
        const char *zpt_dir;  // where libzptxml2.so is, or nullptr
        bool system_lib;      // /system/lib64/libxml2.so present
        const char *want;
    };
    const Case cases[] = {
        {"/unrecoverable/lib64/", false, "dlopen success [/system/lib64/libzptxml2.so]"},
        {"/system/lib/", true, "dlopen success [/system/lib64/libzptxml2.so]"},
        {nullptr, true, "dlopen success [/system/lib64/libxml2.so]"},
        {nullptr, false, "dlopen Error ["},
    };
    write_file("/data/a.xml", "<a><b>1</b></a>");
    for (const Case &c : cases) {
        std::string zpt = c.zpt_dir != nullptr ? std::string(c.zpt_dir) + "libzptxml2.so" : "";
        if (c.zpt_dir != nullptr) {
            ASSERT_TRUE(svc_sandbox::link_library(root_, svc_sandbox::kXml, zpt));
        }
        if (c.system_lib) link(svc_sandbox::kXmlSystem);
        FileTail log(service_log_file());
        FileTail logcat(service_logcat_file());
        bool loads = c.zpt_dir != nullptr || c.system_lib;
        EXPECT_EQ(XMLInit(), loads ? 0 : -1) << c.want;
        EXPECT_TRUE(log.contains(c.want)) << log.text();
        EXPECT_TRUE(logcat.contains(std::string("D/ScanJni: ") + c.want)) << logcat.text();
        XML_HANDLE *h = XMLOpen("/data/a.xml");
        EXPECT_EQ(h != nullptr, loads) << c.want;
        XMLClose(h);
        if (!loads) {
            EXPECT_EQ(XMLOpenMem("/m", "<a/>", 4), nullptr);
            EXPECT_EQ(XMLOpenDecrypt("/data/a.xml", kConfigKey), nullptr);
        }
        XmlLibFree();
        if (c.zpt_dir != nullptr) unlink_device(zpt);
        unlink_device("/system/lib64/libxml2.so");
    }
}

TEST_F(XmlTest, TheRuntimeLinksNoneOfTheLibrariesItLoads) {
    std::string dynamic;
    ASSERT_TRUE(svc_sandbox::run_tool({"readelf", "-d", READERCORE_LIB}, &dynamic));
    ASSERT_NE(dynamic.find("NEEDED"), std::string::npos);
    for (const char *name : {"libxml2", "sqlite", "libcrypto"})
        EXPECT_EQ(dynamic.find(name), std::string::npos) << name;
}

TEST_F(XmlTest, DocumentsOpenCloseAndSave) {
    link(svc_sandbox::kXml);
    write_config("/system/usr/xml/engine.xml", "engine.xml", {{"ATTR", "a"}, {"VALUE", "v"}}, false);
    XML_HANDLE *h = XMLOpen("/system/usr/xml/engine.xml");
    ASSERT_NE(h, nullptr);
    EXPECT_STREQ(h->path, "/system/usr/xml/engine.xml");
    EXPECT_STREQ(reinterpret_cast<const char *>(h->root->name), "Engine");
    XMLSetCurNodeContent(h, nullptr, "name", "saved");
    make_dirs("/data");
    EXPECT_EQ(XMLSave(h, "/data/saved.xml"), 0);
    EXPECT_EQ(XMLSave(h, "/nodir/saved.xml"), -1);
    EXPECT_TRUE(logged("XMLSave Error [/nodir/saved.xml]"));
    EXPECT_EQ(XMLClose(h), 0);
    XML_HANDLE *again = XMLOpen("/data/saved.xml");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(text_of(XMLFindCurOnce(again, nullptr, "Name")), "saved");
    EXPECT_EQ(text_of(XMLFindCur(again, nullptr, "Name")), "probe-name");
    XMLClose(again);

    // A path longer than the handle holds is cut; memory documents keep the given path.
    std::string long_path = "/data/" + std::string(80, 'p') + ".xml";
    write_file(long_path, "<r>x</r>");
    XML_HANDLE *cut = XMLOpen(long_path.c_str());
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(std::string(cut->path), long_path.substr(0, XML_PATH_MAX - 1));
    XMLClose(cut);
    XML_HANDLE *mem = XMLOpenMem("/mem/doc", "<r>x</r>", 8);
    ASSERT_NE(mem, nullptr);
    EXPECT_STREQ(mem->path, "/mem/doc");
    XMLClose(mem);

    EXPECT_EQ(XMLOpenMem("/mem/doc", "<r>x</r>", 0), nullptr);
    EXPECT_EQ(XMLOpenMem("/mem/doc", "<r>x</r>", -1), nullptr);
    EXPECT_EQ(XMLOpenMem("/mem/doc", nullptr, 8), nullptr);
    EXPECT_EQ(XMLOpenMem("/mem/doc", "<r>x", 4), nullptr);
    EXPECT_EQ(XMLOpen("/data/missing.xml"), nullptr);
    write_file("/data/garbage.xml", "not xml at all");
    EXPECT_EQ(XMLOpen("/data/garbage.xml"), nullptr);
    EXPECT_EQ(XMLClose(nullptr), -1);
    EXPECT_EQ(XMLSave(nullptr, "/data/x.xml"), -1);
    char out[8] = {};
    EXPECT_EQ(XMLReadString(nullptr, nullptr, "r", nullptr, nullptr, out, 7), 0);
    EXPECT_EQ(XMLGetContent(nullptr, nullptr), nullptr);
}

// Texts longer than every buffer, in elements and attributes, through every read and
// visit operation: cut, never written past (the buffers are exact heap blocks, so the
// sanitizer build sees any overrun; the canaries show it in the others).
TEST_F(XmlTest, LongTextsAreCutToEveryBuffer) {
    link(svc_sandbox::kXml | svc_sandbox::kCrypto);
    for (size_t size : {600u, 5000u}) {
        std::string value, attr;
        for (size_t i = 0; i < size; ++i) value += static_cast<char>('a' + i % 26);
        for (size_t i = 0; i < size; ++i) attr += static_cast<char>('A' + i % 26);
        svc_sandbox::Vars vars = {{"ATTR", attr}, {"VALUE", value}};
        write_config("/data/long.xml", "engine.xml", vars, false);
        write_config("/data/longEN", "engine.xml", vars, true);
        for (bool encrypted : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (encrypted ? " decrypted" : " plain"));
            XML_HANDLE *h = encrypted ? XMLOpenDecrypt("/data/longEN", kConfigKey) : XMLOpen("/data/long.xml");
            ASSERT_NE(h, nullptr);
            constexpr int kCap = 10, kAttrCap = 6;
            std::vector<char> out(kCap + 4, '#'), attr_out(kAttrCap + 4, '#');
            EXPECT_EQ(XMLReadString(h, nullptr, "Value", nullptr, nullptr, out.data(), kCap), kCap);
            EXPECT_EQ(std::string(out.data(), kCap), value.substr(0, kCap));
            EXPECT_EQ(std::string(out.data() + kCap, 4), "####");
            EXPECT_EQ(XMLReadString(h, nullptr, "Value", "name", attr.c_str(), out.data(), kCap), kCap);
            EXPECT_EQ(XMLReadStringGetNameValue(h, nullptr, "Value", "name", attr_out.data(), kAttrCap, out.data(),
                                                kCap),
                      kCap);
            EXPECT_EQ(std::string(attr_out.data(), kAttrCap), attr.substr(0, kAttrCap));
            EXPECT_EQ(std::string(attr_out.data() + kAttrCap, 4), "####");
            EXPECT_EQ(std::string(out.data() + kCap, 4), "####");
            std::vector<char> exact(kCap);  // no room at all beyond the capacity
            EXPECT_EQ(XMLReadString(h, nullptr, "Value", nullptr, nullptr, exact.data(), kCap), kCap);

            std::string whole;
            XMLFindCurCallProc(h, nullptr, "Value", record_text, &whole);
            EXPECT_EQ(whole, value + ";");
            LoopRecord sub;
            XMLFindCurCallProcForSubName(h, nullptr, "name", record_attr, &sub);
            EXPECT_NE(sub.seen.find(attr.substr(0, 511) + "=" + value.substr(0, 511) + ";"), std::string::npos);
            LoopRecord looped;
            XMLLoopReadAndProcess(h, h->root, "Value", "name", record_attr, &looped);
            EXPECT_EQ(looped.seen, attr.substr(0, 127) + "=" + value.substr(0, 127) + ";");
            int length = 0;
            char *text = XMLGetContent(XMLFindCur(h, nullptr, "Value"), &length);
            EXPECT_EQ(length, static_cast<int>(size));
            free(text);
            XMLClose(h);
        }
    }
}

// An external entity or DTD naming a file under the root is neither read nor expanded;
// nested entity definitions do not open at all.
TEST_F(XmlTest, HostileDocuments) {
    link(svc_sandbox::kXml | svc_sandbox::kCrypto);
    write_file("/data/secret.txt", "secret");
    write_file("/data/ext.dtd", "<!ENTITY y \"dtd-secret\">");
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"file://" + host("/data/ext.dtd") +
                      "\" [\n<!ENTITY x SYSTEM \"file://" + host("/data/secret.txt") + "\">\n]>\n<r><a>&x;</a></r>\n";
    write_file("/data/ext.xml", doc);
    std::string encrypted;
    ASSERT_TRUE(svc_sandbox::openssl_encrypt(doc, kConfigKey, &encrypted));
    write_file("/data/extEN", encrypted);
    for (int way = 0; way < 3; ++way) {
        FileWatch secret(host("/data/secret.txt"));
        FileWatch dtd(host("/data/ext.dtd"));
        ASSERT_TRUE(secret.valid() && dtd.valid());
        XML_HANDLE *h = way == 0   ? XMLOpen("/data/ext.xml")
                        : way == 1 ? XMLOpenMem("/m", doc.data(), static_cast<int>(doc.size()))
                                   : XMLOpenDecrypt("/data/extEN", kConfigKey);
        ASSERT_NE(h, nullptr) << way;
        char out[64] = {};
        XMLReadString(h, nullptr, "a", nullptr, nullptr, out, sizeof out - 1);
        EXPECT_EQ(std::string(out).find("secret"), std::string::npos) << way;
        XMLClose(h);
        EXPECT_FALSE(secret.touched()) << way;
        EXPECT_FALSE(dtd.touched()) << way;
    }
    {
        FileWatch control(host("/data/secret.txt"));
        EXPECT_EQ(read_file("/data/secret.txt"), "secret");
        EXPECT_TRUE(control.touched()) << "the watch sees a read";
    }

    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        std::string ref = level == 1 ? "&lol;" : "&lol" + std::to_string(level - 1) + ";";
        std::string body;
        for (int i = 0; i < 10; ++i) body += ref;
        laughs += "<!ENTITY lol" + std::to_string(level) + " \"" + body + "\">\n";
    }
    laughs += "]>\n<lolz>&lol9;</lolz>\n";
    write_file("/data/laughs.xml", laughs);
    ASSERT_TRUE(svc_sandbox::openssl_encrypt(laughs, kConfigKey, &encrypted));
    write_file("/data/laughsEN", encrypted);
    EXPECT_EQ(XMLOpen("/data/laughs.xml"), nullptr);
    EXPECT_EQ(XMLOpenMem("/m", laughs.data(), static_cast<int>(laughs.size())), nullptr);
    EXPECT_EQ(XMLOpenDecrypt("/data/laughsEN", kConfigKey), nullptr);
}

// A library that lacks functions: every operation that needs one answers its failure
// value instead of calling through an empty slot.
TEST_F(XmlTest, AbsentLibraryFunctionsGiveFailureValues) {
    write_file("/system/lib64/libzptxml2.so", read_host_file(SVC_XML_PARTIAL));
    write_config("/data/engine.xml", "engine.xml", {{"ATTR", "a"}, {"VALUE", "v"}}, false);
    ASSERT_EQ(XMLInit(), 0);
    XML_HANDLE *h = XMLOpen("/data/engine.xml");
    ASSERT_NE(h, nullptr);
    ASSERT_NE(h->root, nullptr);
    XML_NODE *first = h->root->children;
    ASSERT_NE(first, nullptr);
    char out[8] = "unset";
    char attr[8] = "unset";
    int visits = 0;
    auto count_attr = [](XML_NODE *, char *, char *, void *arg) {
        ++*static_cast<int *>(arg);
        return -1;
    };
    auto count_text = [](XML_NODE *, char *, void *arg) { ++*static_cast<int *>(arg); };
    auto count_name = [](XML_NODE *, const char *, void *arg) { ++*static_cast<int *>(arg); };
    EXPECT_EQ(XMLFindCur(h, nullptr, "Name"), nullptr);
    EXPECT_EQ(XMLFindCurOnce(h, nullptr, "Name"), nullptr);
    EXPECT_EQ(XMLReadString(h, nullptr, "Name", nullptr, nullptr, out, 7), 0);
    EXPECT_EQ(XMLReadString(h, nullptr, "Aztec", "kind", "matrix", out, 7), 0);
    EXPECT_EQ(XMLReadStringGetNameValue(h, nullptr, "Aztec", "name", attr, 7, out, 7), 0);
    EXPECT_STREQ(out, "unset");
    EXPECT_STREQ(attr, "unset");
    XMLFindCurCallProc(h, nullptr, "Name", count_text, &visits);
    XMLFindChildrenCallProc(h, nullptr, "Code", count_name, &visits);
    EXPECT_EQ(XMLFindCurCallProcForSubName(h, nullptr, "name", count_attr, &visits), -1);
    EXPECT_EQ(XMLLoopReadAndProcess(h, h->root, "Name", "name", count_attr, &visits), -1);
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(XMLGetAtter(first, "name"), nullptr);
    EXPECT_EQ(XMLNodeGetContent(first), nullptr);
    int length = -7;
    EXPECT_EQ(XMLGetContent(first, &length), nullptr);
    EXPECT_EQ(length, -7);
    XMLSetCurNodeContent(h, nullptr, "Name", "x");
    EXPECT_EQ(XMLSave(h, "/data/out.xml"), -1);
    EXPECT_EQ(XMLGetChildrenCount(h->root), 5);  // needs no library function
    EXPECT_EQ(XMLClose(h), 0);
}

// The static copy that other libraries carry: its names stay hidden, it opens the system's
// XML library and libcrypto by their fixed paths and logs to the Android log only.
TEST_F(XmlTest, StaticCopyForOtherLibraries) {
    std::string symbols;
    ASSERT_TRUE(svc_sandbox::run_tool({"nm", "-D", "--defined-only", SVC_XMLCFG_COPY}, &symbols));
    for (const char *name : {"XMLOpen", "XMLInit", "OpensslAesDecrypt", "openssl_lib_load"})
        EXPECT_EQ(symbols.find(std::string(" ") + name + "\n"), std::string::npos) << name;
    EXPECT_NE(symbols.find(" xmlcfg_copy_read\n"), std::string::npos);

    void *module = dlopen(SVC_XMLCFG_COPY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    using ReadFn = int (*)(const char *, const char *, const char *, char *, int);
    using FreeFn = void (*)();
    auto read = reinterpret_cast<ReadFn>(dlsym(module, "xmlcfg_copy_read"));
    auto release = reinterpret_cast<FreeFn>(dlsym(module, "xmlcfg_copy_free"));
    ASSERT_NE(read, nullptr);
    ASSERT_NE(release, nullptr);
    write_config("/system/usr/xml/engine.xml", "engine.xml", {{"ATTR", "a"}, {"VALUE", "v"}}, false);
    write_config("/system/usr/xml/engineEN", "engine.xml", {{"ATTR", "a"}, {"VALUE", "v"}}, true);
    char out[32] = {};

    // Only the runtime's XML library build: found by the runtime, not by the copy.
    link(svc_sandbox::kXml);
    EXPECT_EQ(read("/system/usr/xml/engine.xml", nullptr, "Name", out, 31), -1);
    EXPECT_TRUE(logcat_text().find("dlopen Error [") != std::string::npos);
    EXPECT_FALSE(logged("dlopen Error ["));
    XML_HANDLE *h = XMLOpen("/system/usr/xml/engine.xml");
    EXPECT_NE(h, nullptr);
    XMLClose(h);

    link(svc_sandbox::kXmlSystem | svc_sandbox::kCrypto);
    EXPECT_EQ(read("/system/usr/xml/engine.xml", nullptr, "Name", out, 31), 10);
    EXPECT_STREQ(out, "probe-name");
    memset(out, 0, sizeof out);
    EXPECT_EQ(read("/system/usr/xml/engineEN", kConfigKey, "Setting", out, 31), 15);
    EXPECT_STREQ(out, "onetwothreefour");
    release();
    dlclose(module);
}

}  // namespace
