// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "CUT_MemorySource.h"

namespace {

std::string ReadAllLines(CUT_ByteSource &source, int size, std::vector<int> *counts) {
    std::string all;
    std::vector<char> buffer(static_cast<size_t>(size));
    int n;
    while ((n = source.ReadLine(buffer.data(), size)) > 0) {
        counts->push_back(n);
        all.append(buffer.data(), static_cast<size_t>(n));
    }
    return all;
}

}  // namespace

TEST(MemorySource, WritesAreCutAtTheCapacity) {
    CUT_MemorySource source(nullptr, 32000);
    ASSERT_EQ(source.Open(OpenMode::Write), 0);
    std::string block(1000, 'x');
    int stored = 0;
    for (int i = 0; i < 31; ++i) stored += source.Write(block.c_str(), 1000);
    EXPECT_EQ(stored, 31000);
    EXPECT_EQ(source.Write(std::string(1500, 'y').c_str(), 1500), 1000);  // crosses the capacity
    EXPECT_EQ(source.Write("more", 4), 0);
    EXPECT_EQ(source.WriteLine("more"), 0);
    EXPECT_EQ(source.Length(), 32000);
    EXPECT_EQ(source.Data()[32000], '\0');
    source.Close();
    ASSERT_EQ(source.Open(OpenMode::Read), 0);
    EXPECT_EQ(source.Seek(0, SeekOrigin::End), 32000);
}

TEST(MemorySource, ReopeningMeasuresTheTextSoANulHidesTheRest) {
    CUT_MemorySource source(nullptr, 100);
    source.Open(OpenMode::Write);
    EXPECT_EQ(source.Write("abc\0def", 7), 7);
    EXPECT_EQ(source.Length(), 7);
    source.Open(OpenMode::Read);
    EXPECT_EQ(source.Length(), 3);
    source.Open(OpenMode::Append);
    EXPECT_EQ(source.Position(), 3);
    source.Write("XY", 2);
    source.Open(OpenMode::Read);
    char buffer[16];
    EXPECT_EQ(source.Read(buffer, 15), 5);
    EXPECT_STREQ(buffer, "abcXY");
    // An unknown mode empties the source like Write.
    EXPECT_EQ(source.Open(static_cast<OpenMode>(7)), 0);
    EXPECT_EQ(source.Length(), 0);
}

TEST(MemorySource, ReadLineEndsLinesAtCarriageReturns) {
    char text[] = "ab\r\ncd";
    CUT_MemorySource source(text, 6);
    source.Open(OpenMode::Read);
    std::vector<int> counts;
    EXPECT_EQ(ReadAllLines(source, 1000, &counts), "ab\r\ncd");
    EXPECT_EQ(counts, (std::vector<int>{4, 2}));

    // A lone LF does not end a line, a lone CR does.
    char mixed[] = "one\ntwo\rthree\r\n";
    CUT_MemorySource other(mixed, sizeof mixed - 1);
    other.Open(OpenMode::Read);
    counts.clear();
    ReadAllLines(other, 1000, &counts);
    EXPECT_EQ(counts, (std::vector<int>{8, 7}));

    // A chunk that ends exactly on the CR: CR alone, then the LF begins
    // the next line.
    char cut[] = "abcd\r\nef\r\n";
    CUT_MemorySource chunked(cut, sizeof cut - 1);
    chunked.Open(OpenMode::Read);
    char buffer[6];
    EXPECT_EQ(chunked.ReadLine(buffer, 6), 5);
    EXPECT_STREQ(buffer, "abcd\r");
    EXPECT_EQ(chunked.ReadLine(buffer, 6), 5);
    EXPECT_STREQ(buffer, "\nef\r\n");
    EXPECT_EQ(chunked.ReadLine(buffer, 6), 0);
    EXPECT_EQ(chunked.ReadLine(nullptr, 6), -1);
}

TEST(MemorySource, SeekStaysWithinTheText) {
    CUT_MemorySource source(nullptr, 50);
    source.Open(OpenMode::Write);
    source.Write("0123456789", 10);
    source.Open(OpenMode::Read);
    EXPECT_EQ(source.Seek(0, SeekOrigin::End), 10);
    EXPECT_EQ(source.Seek(3, SeekOrigin::End), 7);  // counts back from the end
    EXPECT_EQ(source.Seek(-2, SeekOrigin::Current), 5);
    EXPECT_EQ(source.Seek(11, SeekOrigin::Begin), -1);
    EXPECT_EQ(source.Position(), 5);
    EXPECT_EQ(source.Seek(-1, SeekOrigin::Begin), -1);
    EXPECT_EQ(source.Seek(-1, SeekOrigin::End), -1);
    EXPECT_EQ(source.Seek(0, static_cast<SeekOrigin>(9)), -1);
    EXPECT_EQ(source.Seek(2147483647, SeekOrigin::Current), -1);
    EXPECT_EQ(source.Position(), 5);
    // A write in the middle drops what followed.
    source.Seek(4, SeekOrigin::Begin);
    source.Write("X", 1);
    EXPECT_STREQ(source.Data(), "0123X");
}

TEST(MemorySource, WriteLineAddsCrLfUnlessTheTextEndsALine) {
    CUT_MemorySource source(nullptr, 64);
    source.Open(OpenMode::Write);
    EXPECT_EQ(source.WriteLine("abc"), 3);
    EXPECT_EQ(source.WriteLine("def\n"), 4);
    EXPECT_EQ(source.WriteLine(""), 0);
    EXPECT_EQ(source.WriteLine(nullptr), -1);
    EXPECT_STREQ(source.Data(), "abc\r\ndef\n\r\n");
    // Near the capacity only what fits is counted.
    CUT_MemorySource small(nullptr, 4);
    small.Open(OpenMode::Write);
    EXPECT_EQ(small.WriteLine("abcdef"), 4);
    EXPECT_STREQ(small.Data(), "abcd");
}

TEST(MemorySource, CloneCopiesTheTextAndStartsAtZero) {
    CUT_MemorySource source(nullptr, 20, "label");
    source.Open(OpenMode::Write);
    source.Write("hello", 5);
    std::unique_ptr<CUT_ByteSource> clone(source.Clone());
    ASSERT_NE(clone, nullptr);
    auto *copy = static_cast<CUT_MemorySource *>(clone.get());
    EXPECT_STREQ(copy->Name(), "label");
    EXPECT_EQ(copy->Capacity(), 20);
    EXPECT_EQ(copy->Length(), 5);
    EXPECT_EQ(copy->Position(), 0);
    source.Open(OpenMode::Write);
    source.Write("bye", 3);
    copy->Open(OpenMode::Read);
    char buffer[32];
    EXPECT_EQ(copy->Read(buffer, 31), 5);
    EXPECT_STREQ(buffer, "hello");
}

TEST(MemorySource, NullArgumentsAndOddSizesAreRefused) {
    CUT_MemorySource source(nullptr, 8);
    source.Open(OpenMode::Write);
    EXPECT_EQ(source.Write(nullptr, 3), -1);
    EXPECT_EQ(source.Write("abc", -1), -1);
    EXPECT_EQ(source.Read(nullptr, 3), -1);
    char buffer[4];
    EXPECT_EQ(source.Read(buffer, -5), -1);
    std::string longName(400, 'n');
    CUT_MemorySource named(nullptr, 1, longName.c_str());
    EXPECT_EQ(std::string(named.Name()).size(), 259u);
    CUT_MemorySource negative(nullptr, -10);
    EXPECT_EQ(negative.Capacity(), 0);
    negative.Open(OpenMode::Write);
    EXPECT_EQ(negative.Write("a", 1), 0);
}

TEST(ByteSourceFind, FoldsCaseAndCrossesChunkBoundaries) {
    std::string text(5000, '-');
    text.replace(4090, 8, "BoUnDaRy");  // straddles the first 4095-byte chunk
    CUT_MemorySource source(text.data(), static_cast<int>(text.size()));
    source.Open(OpenMode::Read);
    EXPECT_EQ(source.Find("boundary", 0, 0, 0), 4090);
    EXPECT_EQ(source.Find("boundary", 0, 1, 0), -1);
    EXPECT_EQ(source.Find("BoUnDaRy", 0, 1, 0), 4090);
    EXPECT_EQ(source.Find("boundary", 4091, 0, 0), -1);
    EXPECT_EQ(source.Find("boundary", 6000, 0, 0), -1);  // start beyond the end

    char exact[] = "boundary";
    CUT_MemorySource only(exact, 8);
    only.Open(OpenMode::Read);
    EXPECT_EQ(only.Find("BOUNDARY", 0, 0, 0), 0);
}

TEST(ByteSourceFind, RefusesOversizedPatternsAndHonoursTheCoarseLimit) {
    std::string text(20000, 'a');
    text.replace(9000, 3, "xyz");
    CUT_MemorySource source(text.data(), static_cast<int>(text.size()));
    source.Open(OpenMode::Read);
    EXPECT_EQ(source.Find(std::string(4096, 'a').c_str(), 0, 1, 0), -1);
    EXPECT_EQ(source.Find(std::string(4095, 'a').c_str(), 0, 1, 0), 0);
    EXPECT_EQ(source.Find("abcde", 0, 1, 3), -1);
    EXPECT_EQ(source.Find("", 0, 1, 0), -1);
    EXPECT_EQ(source.Find(nullptr, 0, 1, 0), -1);
    // The limit is tested when the search moves to the next chunk: the
    // third chunk begins at 8184, and a match anywhere in it counts.
    EXPECT_EQ(source.Find("xyz", 0, 1, 4000), -1);
    EXPECT_EQ(source.Find("xyz", 0, 1, 8183), -1);
    EXPECT_EQ(source.Find("xyz", 0, 1, 8184), 9000);
    EXPECT_EQ(source.Find("xyz", 0, 1, 0), 9000);
}
