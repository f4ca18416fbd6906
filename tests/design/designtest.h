#pragma once
// Small helpers shared by the design tests.
#include <QFile>
#include <QMetaType>
#include <QString>
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

namespace design::test {

// The fixed parts of a generated page.
inline const std::string kHead = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<style>\r\n";
inline const std::string kStyleEnd = "\r\n</style>\r\n</head>\r\n<body>\r\n";
inline const std::string kEnd = "</body>\r\n</html>";

inline void writeBytes(const QString& path, const std::string& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

}  // namespace design::test
