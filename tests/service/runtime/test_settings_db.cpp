// The settings database with the real SQLite loaded at run time under the test root; the
// sqlite3 command line is the oracle for what the files hold.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config_test.h"

namespace {

constexpr const char *kWork = "/cache/Decode.db";
constexpr const char *kMaster = "/unrecoverable/db/Decode.db";

class SettingsDbTest : public ConfigTest {
  protected:
    void TearDown() override {
        SqliteClose(db_);
        ConfigTest::TearDown();
    }

    // The sqlite3 command line's output for one statement over a device file.
    std::string sql(const std::string &device_path, const std::string &statement) {
        std::string out;
        EXPECT_TRUE(svc_sandbox::run_tool({"sqlite3", host(device_path), statement}, &out)) << statement;
        return out;
    }
    void make_master(const std::string &rows) {
        make_dirs("/unrecoverable/db");
        sql(kMaster,
            "CREATE TABLE Decode(ID INTEGER PRIMARY KEY AUTOINCREMENT,CodeID VARCHAR(20),Attribute "
            "VARCHAR(20),State INTEGER);" +
                rows);
    }
    // The States the runtime's select gives for (code, attribute).
    std::vector<std::string> select(const char *code, const char *attribute, int *result = nullptr) {
        std::vector<std::string> rows;
        int r = SqliteSelectDefalut(db_, "Decode", code, attribute, collect_row, &rows);
        if (result != nullptr) *result = r;
        return rows;
    }
    static int collect_row(void *context, int columns, char **texts, char **) {
        auto *rows = static_cast<std::vector<std::string> *>(context);
        rows->push_back(columns > 0 && texts[0] != nullptr ? texts[0] : "NULL");
        return 0;
    }

    sqlite3 *db_ = nullptr;
};

const char kColumns[] =
    "0|ID|INTEGER|0||1\n1|CodeID|VARCHAR(20)|0||0\n2|Attribute|VARCHAR(20)|0||0\n3|State|INTEGER|0||0\n";

TEST_F(SettingsDbTest, WithoutCopiesTheWorkingCopyIsCreatedEmpty) {
    link(svc_sandbox::kSqlite);
    make_dirs("/cache");
    db_ = OpenX3DecodeDB();
    ASSERT_NE(db_, nullptr);
    EXPECT_EQ(sql(kWork, "PRAGMA table_info(Decode);"), kColumns);
    EXPECT_TRUE(select("QRCode", "Enable").empty());
    EXPECT_EQ(SqliteInsertDefault(db_, "Decode", "QRCode", "Enable", 1), 0);
    EXPECT_EQ(select("QRCode", "Enable"), std::vector<std::string>{"1"});
    EXPECT_EQ(SqliteUpdateDefalut(db_, "Decode", "QRCode", "Enable", "0"), 0);
    EXPECT_EQ(select("QRCode", "Enable"), std::vector<std::string>{"0"});
    EXPECT_FALSE(exists(kMaster));
}

TEST_F(SettingsDbTest, AGarbageWorkingCopyIsReplacedByTheMaster) {
    link(svc_sandbox::kSqlite);
    make_master("INSERT INTO Decode VALUES(NULL,'QRCode','Enable',1);");
    std::string master = read_file(kMaster);
    write_file(kWork, std::string(4096, 'x'));
    db_ = OpenX3DecodeDB();
    ASSERT_NE(db_, nullptr);
    EXPECT_EQ(read_file(kWork), master) << "a byte copy of the master";
    EXPECT_EQ(select("QRCode", "Enable"), std::vector<std::string>{"1"});
    EXPECT_EQ(SqliteInsertDefault(db_, "Decode", "Aztec", "Enable", 0), 0);
    EXPECT_EQ(select("Aztec", "Enable"), std::vector<std::string>{"0"});
    EXPECT_EQ(read_file(kMaster), master) << "the master is never written";
    EXPECT_TRUE(logged("OpenX3DecodeDB replaced [/cache/Decode.db]"));
}

// Without a usable master a damaged, emptied or missing working copy ends as an empty
// table, and statements work on it.
TEST_F(SettingsDbTest, WithoutAUsableMasterTheWorkingCopyIsRecreated) {
    link(svc_sandbox::kSqlite);
    struct Case {
        const char *what;
        const char *work;    // nullptr: no working copy
        const char *master;  // nullptr: no master
    };
    const Case cases[] = {
        {"garbage, no master", "garbage garbage garbage", nullptr},
        {"zero bytes, no master", "", nullptr},
        {"garbage, garbage master", "garbage garbage garbage", "master garbage"},
        {"missing, garbage master", nullptr, "master garbage"},
        {"missing, empty master", nullptr, ""},
        {"a database without the table", "", nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        unlink_device(kWork);
        unlink_device(kMaster);
        make_dirs("/cache");
        if (c.work != nullptr) write_file(kWork, c.work);
        if (c.master != nullptr) write_file(kMaster, c.master);
        if (std::string(c.what) == "a database without the table") sql(kWork, "CREATE TABLE Other(x INTEGER);");
        db_ = OpenX3DecodeDB();
        ASSERT_NE(db_, nullptr);
        EXPECT_EQ(sql(kWork, "PRAGMA table_info(Decode);"), kColumns);
        EXPECT_EQ(sql(kWork, "select count(*) from Decode;"), "0\n");
        EXPECT_EQ(SqliteInsertDefault(db_, "Decode", "QRCode", "Enable", 3), 0);
        EXPECT_EQ(select("QRCode", "Enable"), std::vector<std::string>{"3"});
        if (c.master != nullptr) {
            EXPECT_EQ(read_file(kMaster), c.master);
        }
        SqliteClose(db_);
        db_ = nullptr;
    }
}

TEST_F(SettingsDbTest, StatementsAndTheirLimits) {
    link(svc_sandbox::kSqlite);
    make_dirs("/cache");
    db_ = OpenX3DecodeDB();
    ASSERT_NE(db_, nullptr);
    int result = 0;
    EXPECT_EQ(SqliteInsertDefault(db_, "Decode", "Code'39", "Enable", 1), -1);
    select("Code'39", "Enable", &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(SqliteUpdateDefalut(db_, "Decode", "QRCode", "Missing", "3"), 0);
    EXPECT_EQ(sql(kWork, "select count(*) from Decode;"), "0\n");

    // The statement buffer holds 199 characters.
    const std::string fixed = "INSERT INTO Decode VALUES (NULL, '', 'A', '1')";
    std::string fits(SQLITE_STATEMENT_MAX - 1 - fixed.size(), 'c');
    EXPECT_EQ(SqliteInsertDefault(db_, "Decode", fits.c_str(), "A", 1), 0);
    EXPECT_EQ(SqliteInsertDefault(db_, "Decode", (fits + "c").c_str(), "A", 1), -1);
    EXPECT_TRUE(logged("Sqlite statement too long [200] [200]"));
    EXPECT_EQ(sql(kWork, "select count(*) from Decode;"), "1\n");

    EXPECT_EQ(SqliteInsertDefault(nullptr, "Decode", "QRCode", "Enable", 1), -1);
    EXPECT_EQ(SqliteCreateDefault(db_, "Decode"), -1) << "the table exists";
    sqlite3 *none = reinterpret_cast<sqlite3 *>(1);
    EXPECT_EQ(SqliteOpen("/nodir/deeper/x.db", &none), -1);
    EXPECT_EQ(none, nullptr) << "the handle of a failed open is closed and cleared";
    EXPECT_EQ(SqliteOpen(nullptr, &none), -1);
}

TEST_F(SettingsDbTest, TheMasterCopyIsOpenedWithItsDirectory) {
    link(svc_sandbox::kSqlite);
    db_ = OpenDefaultConfigDB();
    ASSERT_NE(db_, nullptr);
    EXPECT_EQ(is_dir_exit("/unrecoverable/db/"), 0);
    EXPECT_TRUE(logged("OpenDefaultConfigDB [/unrecoverable/db/]"));
    EXPECT_TRUE(logged("Create Dir [/unrecoverable/db/]"));
    EXPECT_EQ(sql(kMaster, "PRAGMA table_info(Decode);"), kColumns);
    EXPECT_EQ(SqliteInsertDefault(db_, "Decode", "QRCode", "Enable", 1), 0);
    SqliteClose(db_);
    db_ = OpenDefaultConfigDB();
    ASSERT_NE(db_, nullptr);
    EXPECT_EQ(select("QRCode", "Enable"), std::vector<std::string>{"1"}) << "an existing master is kept";
}

TEST_F(SettingsDbTest, WithoutSqliteEveryOpenFails) {
    make_dirs("/cache");
    sqlite3 *db = nullptr;
    EXPECT_EQ(SqliteInit(), -1);
    EXPECT_EQ(SqliteOpen(kWork, &db), -1);
    EXPECT_EQ(db, nullptr);
    EXPECT_EQ(OpenX3DecodeDB(), nullptr);
    EXPECT_EQ(OpenDefaultConfigDB(), nullptr);
    EXPECT_TRUE(logged("dlopen Error ["));
    EXPECT_EQ(SqliteCreateDefault(nullptr, "Decode"), -1);
    EXPECT_FALSE(exists(kWork));
}

}  // namespace
