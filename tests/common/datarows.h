#pragma once

// One row of a data-driven test on one line: QTest::newRow(name) << values..., each value
// appended as the stream would (a string literal as a QString). Two string literals side by
// side in a stream would each take a line of their own.

#include <QTest>

template<typename... Values>
void addRow(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}
