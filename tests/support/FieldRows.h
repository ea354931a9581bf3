// Checking many fields of one record in one table: a row per field, and a failure names the
// record and the field.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>

namespace test {

/// One field of a record: its name, the value found and the value expected.
struct FieldRow {
    template <class Found, class Expected>
    FieldRow(const char* field, Found found, Expected wanted)
        : name(field), actual(int64_t(found)), expected(int64_t(wanted))
    {
    }
    const char* name;
    int64_t actual;
    int64_t expected;
};

/// Checks every row; a failure names `record` and the row's field.
inline void ExpectFields(const std::string& record, std::initializer_list<FieldRow> rows)
{
    for (const FieldRow& row : rows)
        EXPECT_EQ(row.actual, row.expected) << record << ": " << row.name;
}

} // namespace test
