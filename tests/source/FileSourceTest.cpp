// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CUT_FileSource.h"
#include "CUT_MemorySource.h"
#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelloru-src-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const std::string &name) const { return dir + "/" + name; }
    void Put(const std::string &name, const std::string &bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    std::string Get(const std::string &name) const { return ReadBinaryFile(Path(name)); }
    std::string dir;
};

std::vector<std::string> Lines(CUT_ByteSource &source, int size) {
    std::vector<std::string> lines;
    std::vector<char> buffer(static_cast<size_t>(size));
    int n;
    while ((n = source.ReadLine(buffer.data(), size)) > 0 && lines.size() < 1000)
        lines.emplace_back(buffer.data(), static_cast<size_t>(n));
    return lines;
}

}  // namespace

TEST_F(FileSourceTest, ReadLineSplitsAtCrLfAndKeepsTheLastLineBare) {
    Put("m.txt", "first\r\nsecond\nstill second\r\n\r\nlast");
    CUT_FileSource source(Path("m.txt").c_str(), 4096);
    ASSERT_EQ(source.Open(OpenMode::Read), 0);
    EXPECT_EQ(Lines(source, 100), (std::vector<std::string>{"first\r\n",
                                                            "second\nstill second\r\n", "\r\n",
                                                            "last"}));
    char buffer[8] = "x";
    EXPECT_EQ(source.ReadLine(buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

TEST_F(FileSourceTest, LongLinesComeOutInPiecesThroughASmallLookAhead) {
    std::string line(50, 'a');
    Put("long.txt", line + "\r\nshort\r\n");
    // A buffer of 20 holds lines of up to 16 characters with CR LF.
    CUT_FileSource source(Path("long.txt").c_str(), 4096);
    source.Open(OpenMode::Read);
    std::vector<std::string> got = Lines(source, 20);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], std::string(19, 'a'));
    EXPECT_EQ(got[2], std::string(12, 'a') + "\r\n");
    EXPECT_EQ(got[3], "short\r\n");

    // A look-ahead smaller than the line works the same way.
    CUT_FileSource tiny(Path("long.txt").c_str(), 8);
    tiny.Open(OpenMode::Read);
    std::string joined;
    for (const std::string &piece : Lines(tiny, 100)) joined += piece;
    EXPECT_EQ(joined, line + "\r\nshort\r\n");
}

TEST_F(FileSourceTest, OpenModesCreateTruncateAndAppend) {
    CUT_FileSource source(Path("out.txt").c_str());
    EXPECT_EQ(source.Open(OpenMode::Read), -1);  // does not exist yet
    ASSERT_EQ(source.Open(OpenMode::Write), 0);
    EXPECT_EQ(source.WriteLine("abc"), 3);
    EXPECT_EQ(source.WriteLine("def\n"), 4);
    EXPECT_EQ(source.WriteLine(""), 0);
    source.Close();
    EXPECT_EQ(Get("out.txt"), "abc\r\ndef\n\r\n");

    ASSERT_EQ(source.Open(OpenMode::Append), 0);
    source.Seek(0, SeekOrigin::Begin);
    EXPECT_EQ(source.Write("tail", 4), 4);  // append mode writes at the end anyway
    EXPECT_EQ(source.Seek(0, SeekOrigin::End), 15);
    source.Close();
    EXPECT_EQ(Get("out.txt"), "abc\r\ndef\n\r\ntail");

    ASSERT_EQ(source.Open(OpenMode::Write), 0);
    source.Close();
    EXPECT_EQ(Get("out.txt"), "");
    EXPECT_EQ(source.Open(static_cast<OpenMode>(5)), -1);
    EXPECT_EQ(source.Write("x", 1), -1);  // closed
    EXPECT_EQ(source.Read(nullptr, 1), -1);

    CUT_FileSource unnamed("");
    EXPECT_EQ(unnamed.Open(OpenMode::Write), -1);
    CUT_FileSource directory(dir.c_str());
    EXPECT_EQ(directory.Open(OpenMode::Read), -1);
}

TEST_F(FileSourceTest, NamesWithOuterSpacesOpenTheTrimmedName) {
    Put("trim.txt", "inside\r\n");
    std::string spaced = "  " + Path("trim.txt") + "   ";
    CUT_FileSource source(spaced.c_str());
    ASSERT_EQ(source.Open(OpenMode::Read), 0);
    EXPECT_EQ(Lines(source, 100), std::vector<std::string>{"inside\r\n"});
    CUT_FileSource blanks("    ");
    EXPECT_EQ(blanks.Open(OpenMode::Write), -1);
}

TEST_F(FileSourceTest, SeekFromTheCurrentLineAccountsForTheLookAhead) {
    Put("s.txt", "line1\r\nline2\r\nline3\r\n");
    CUT_FileSource source(Path("s.txt").c_str());
    source.Open(OpenMode::Read);
    char buffer[64];
    EXPECT_EQ(source.ReadLine(buffer, sizeof buffer), 7);
    EXPECT_EQ(source.Seek(0, SeekOrigin::Current), 7);
    EXPECT_EQ(source.ReadLine(buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "line2\r\n");
    EXPECT_EQ(source.Seek(0, SeekOrigin::End), 21);
    std::unique_ptr<CUT_ByteSource> clone(source.Clone());
    ASSERT_EQ(clone->Open(OpenMode::Read), 0);
    EXPECT_EQ(clone->Find("LINE3", 0, 0, 0), 14);
}

TEST_F(FileSourceTest, FindInAFileCrossesChunks) {
    std::string text(9000, 'z');
    text.replace(8188, 4, "MARK");  // across the second chunk boundary
    text[100] = '\0';               // a NUL is data, not an end
    Put("f.bin", text);
    CUT_FileSource source(Path("f.bin").c_str());
    source.Open(OpenMode::Read);
    EXPECT_EQ(source.Find("mark", 0, 0, 0), 8188);
    EXPECT_EQ(source.Find("mark", 0, 1, 0), -1);
}

TEST_F(FileSourceTest, SaveToFileWritesTheWholeTextWhateverWasRead) {
    CUT_MemorySource source(nullptr, 32000);
    source.Open(OpenMode::Write);
    std::string text;
    for (int i = 0; i < 600; ++i) text += "Zeile " + std::to_string(i) + "\r\n";
    source.Write(text.c_str(), static_cast<int>(text.size()));
    source.Close();
    source.Open(OpenMode::Read);
    char buffer[100];
    source.ReadLine(buffer, sizeof buffer);
    source.ReadLine(buffer, sizeof buffer);
    EXPECT_EQ(source.SaveToFile(Path("save.txt").c_str()), 1);
    EXPECT_EQ(Get("save.txt"), text);
    EXPECT_EQ(source.SaveToFile(nullptr), 0);
    EXPECT_EQ(source.SaveToFile(Path("missing/dir/x.txt").c_str()), 0);

    // A file source saves to another file byte for byte.
    CUT_FileSource file(Path("save.txt").c_str());
    file.Open(OpenMode::Read);
    EXPECT_EQ(file.SaveToFile(Path("copy.txt").c_str()), 1);
    EXPECT_EQ(Get("copy.txt"), text);
}

TEST_F(FileSourceTest, SaveToFileReportsAFullDisk) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full here";
    CUT_MemorySource source(nullptr, 10000);
    source.Open(OpenMode::Write);
    source.Write(std::string(9000, 'q').c_str(), 9000);
    source.Open(OpenMode::Read);
    EXPECT_EQ(source.SaveToFile("/dev/full"), 0);
}
