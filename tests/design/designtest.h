#pragma once
// Small helpers shared by the design tests.
#include <QMetaType>
#include <QTest>

#include <string>

Q_DECLARE_METATYPE(std::string)

namespace std {
// Lets QCOMPARE print byte texts that differ (non-printable bytes escaped).
inline char* toString(const std::string& s)
{
    return QTest::toPrettyCString(s.data(), qsizetype(s.size()));
}
}  // namespace std
