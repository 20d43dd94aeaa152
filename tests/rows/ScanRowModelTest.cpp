// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CScanRowModel.h"

// The rows keep every cell as set, through many blocks of storage (cells of
// a few bytes up to some megabytes), rows put in between others, cells set
// again, and a clear followed by new rows; a cell in another character set
// is shown converted and keeps its bytes.
TEST(ScanRowModel, RowsKeepEveryCellWhereverTheyWereStored) {
    CScanRowModel model;
    std::vector<std::vector<std::string>> expected;
    auto cell = [](size_t row, int column) {
        const size_t length = (row * 977 + static_cast<size_t>(column) * 131) % 3000;
        std::string text = std::to_string(row) + ":" + std::to_string(column) + ":";
        text.append(length, static_cast<char>('a' + (row + static_cast<size_t>(column)) % 26));
        return text;
    };
    auto add = [&](size_t at, size_t name) {
        model.InsertRow(static_cast<int>(at), cell(name, 0), "");
        std::vector<std::string> row{cell(name, 0)};
        for (int column = 1; column < kScanColumns; ++column) {
            model.SetCellText(static_cast<int>(at), column, cell(name, column), "UTF-8");
            row.push_back(cell(name, column));
        }
        model.SetRowKey(static_cast<int>(at), "key" + std::to_string(name));
        row.push_back("key" + std::to_string(name));
        expected.insert(expected.begin() + static_cast<long>(at), row);
    };
    auto check = [&](const char *when) {
        SCOPED_TRACE(when);
        ASSERT_EQ(model.RowCount(), static_cast<int>(expected.size()));
        for (size_t row = 0; row < expected.size(); ++row) {
            for (int column = 0; column < kScanColumns; ++column)
                ASSERT_EQ(model.ShownText(static_cast<int>(row), column), expected[row][static_cast<size_t>(column)])
                    << row << "/" << column;
            ASSERT_EQ(model.RowKey(static_cast<int>(row)), expected[row][kScanColumns]);
        }
    };

    for (size_t name = 0; name < 700; ++name) add(name, name);
    add(5, 1000);
    add(0, 1001);
    add(600, 1002);
    const std::string large(3 << 20, 'L');
    model.SetCellText(300, ColText, large, "UTF-8");
    expected[300][ColText] = large;
    model.SetCellText(301, ColSubject, "Gr\xfc\xdf" "e", "ISO-8859-1");
    expected[301][ColSubject] = "Grüße";
    check("gefüllt");
    EXPECT_EQ(model.CellText(301, ColSubject), "Gr\xfc\xdf" "e");

    model.DeleteAllRows();
    expected.clear();
    check("geleert");
    for (size_t name = 0; name < 300; ++name) add(name, name + 2000);
    check("neu gefüllt");
}
