// File-system queries and path helpers through their built-ins.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "builtin_harness.h"

using namespace qel;

namespace {

class Files : public qeltest::Builtins {
protected:
    void TearDown() override {
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }
    std::string dir;
};

TEST_F(Files, PathHelpersSplitAtBackslashesOnly) {
    struct Case {
        std::string path, name, dir, ext;
    } cases[] = {
        {"C:\\dir\\file.txt", "file.txt", "C:\\dir", ".txt"},
        {"C:\\my.dir\\file", "file", "C:\\my.dir", ""},
        {"C:\\dir\\", "", "C:\\dir", ""},
        {"\\x", "x", "", ""},
        {"", "", "", ""},
        {"a.tar.gz", "a.tar.gz", "a.tar.gz", ".tar.gz"},
        {"d\\x.txt,y", "x.txt,y", "d", ".txt"},
        {"d\\name.ext%20more", "name.ext%20more", "d", ".ext"},
        {"d\\a.b c", "a.b c", "d", ".b"},
        {"a/b/c.txt", "a/b/c.txt", "a/b/c.txt", ".txt"},
        {"d\\a.b/c", "a.b/c", "d", ".b"},
        {"d\\file.", "file.", "d", "."},
        {"\\\\server\\share\\r\u00e9sum\u00e9.doc", "r\u00e9sum\u00e9.doc", "\\\\server\\share", ".doc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(result(bi_ExtractFileName, {c.path}), "s:" + c.name);
        EXPECT_EQ(result(bi_ExtractFileDir, {c.path}), "s:" + c.dir);
        EXPECT_EQ(result(bi_ExtractFileExt, {c.path}), "s:" + c.ext);
    }
}

TEST_F(Files, ExistenceOfFilesAndDirectories) {
    char pattern[] = "/tmp/qel-files-XXXXXX";
    dir = mkdtemp(pattern);
    std::filesystem::create_directory(dir + "/sub.d");
    std::ofstream(dir + "/file.txt") << "x";
    std::ofstream(dir + "/empty");
    std::string nul(1, '\0');  // a NUL inside does not make the text the name before it
    struct Case {
        std::string path;
        bool file, directory;
    } cases[] = {
        {dir + "/file.txt", true, false},        {dir + "/empty", true, false},
        {dir + "/sub.d", false, true},           {dir + "/sub.d/", false, true},
        {dir, false, true},                      {dir + "/missing", false, false},
        {dir + "/missing/deeper", false, false}, {dir + "/file.txt/below", false, false},
        {"", false, false},                      {dir + "/file.txt" + nul + "x", false, false},
        {dir + nul, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(result(bi_FileExists, {c.path}), c.file ? "b:true" : "b:false");
        EXPECT_EQ(result(bi_DirectoryExists, {c.path}), c.directory ? "b:true" : "b:false");
    }
}

TEST_F(Files, CurrentDirectory) {
    EXPECT_EQ(result(bi_GetCurrentDir), "s:" + std::filesystem::current_path().string());
}

}  // namespace
