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

    // Runs a one-string built-in; the result must have replaced the argument.
    Value& run(BuiltinFn fn, const std::u16string& arg) {
        reset();
        Value& v = push_slot(st);
        v.tag = kTagString;
        v.text.assignWide(arg.c_str(), static_cast<uint32_t>(arg.size()));
        EXPECT_EQ(call(fn), "");
        EXPECT_EQ(count(), 1);
        return top();
    }
    std::string text(BuiltinFn fn, const std::u16string& arg) { return utf8(run(fn, arg).text); }
    bool truth(BuiltinFn fn, const std::string& arg) {
        Value& v = run(fn, std::u16string(arg.begin(), arg.end()));
        EXPECT_EQ(v.tag, kTagBool);
        return v.v.i != 0;
    }

    std::string dir;
};

TEST_F(Files, PathHelpersSplitAtBackslashesOnly) {
    struct Case {
        std::u16string path;
        std::string name, dir, ext;
    } cases[] = {
        {u"C:\\dir\\file.txt", "file.txt", "C:\\dir", ".txt"},
        {u"file.txt", "file.txt", "file.txt", ".txt"},
        {u"C:\\my.dir\\file", "file", "C:\\my.dir", ""},
        {u"C:\\dir\\", "", "C:\\dir", ""},
        {u"\\x", "x", "", ""},
        {u"", "", "", ""},
        {u"noext", "noext", "noext", ""},
        {u"a.tar.gz", "a.tar.gz", "a.tar.gz", ".tar.gz"},
        {u"d\\x.txt,y", "x.txt,y", "d", ".txt"},
        {u"d\\name.ext%20more", "name.ext%20more", "d", ".ext"},
        {u"d\\a.b c", "a.b c", "d", ".b"},
        {u"a/b/c.txt", "a/b/c.txt", "a/b/c.txt", ".txt"},
        {u"d\\a.b/c", "a.b/c", "d", ".b"},
        {u"d\\file.", "file.", "d", "."},
        {u"\\\\server\\share\\r\u00e9sum\u00e9.doc", "r\u00e9sum\u00e9.doc", "\\\\server\\share", ".doc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        EXPECT_EQ(text(bi_ExtractFileName, c.path), c.name);
        EXPECT_EQ(text(bi_ExtractFileDir, c.path), c.dir);
        EXPECT_EQ(text(bi_ExtractFileExt, c.path), c.ext);
    }
}

TEST_F(Files, ExistenceOfFilesAndDirectories) {
    char pattern[] = "/tmp/qel-files-XXXXXX";
    dir = mkdtemp(pattern);
    std::filesystem::create_directory(dir + "/sub.d");
    std::ofstream(dir + "/file.txt") << "x";
    std::ofstream(dir + "/empty");
    struct Case {
        std::string path;
        bool file, directory;
    } cases[] = {
        {dir + "/file.txt", true, false},
        {dir + "/empty", true, false},
        {dir + "/sub.d", false, true},
        {dir + "/sub.d/", false, true},
        {dir, false, true},
        {dir + "/missing", false, false},
        {dir + "/missing/deeper", false, false},
        {dir + "/file.txt/below", false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(truth(bi_FileExists, c.path), c.file);
        EXPECT_EQ(truth(bi_DirectoryExists, c.path), c.directory);
    }
    // A NUL inside the text does not make it the name before the NUL.
    std::string hidden = dir + "/file.txt";
    hidden += '\0';
    hidden += "x";
    EXPECT_FALSE(truth(bi_FileExists, hidden));
    hidden = dir;
    hidden += '\0';
    EXPECT_FALSE(truth(bi_DirectoryExists, hidden));
}

TEST_F(Files, CurrentDirectory) {
    reset();
    EXPECT_EQ(call(bi_GetCurrentDir), "");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(top_string(), std::filesystem::current_path().string());
}

TEST_F(Files, NonStringArgumentsAreConversionErrors) {
    for (BuiltinFn fn : {bi_FileExists, bi_DirectoryExists, bi_ExtractFileName, bi_ExtractFileDir, bi_ExtractFileExt}) {
        reset();
        i(5);
        EXPECT_EQ(call(fn), "Cannot convert 'int' to 'string'");
    }
}

}  // namespace
