#pragma once

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Every pass a test runs, as one line: the test, the SHA-256 of every request the unit received and of
// the log. The committed file holds the lines of a known good build; a change to the engine that alters
// a request or a log line anywhere shows as a differing line. TAVRIN_GOLDEN_WRITE=1 writes the lines
// instead of comparing them; it reads and rewrites the whole file, so the suite then runs in one process.
namespace golden {

using Lines = std::map<std::string, std::string>;

inline Lines read(const char *path)
{
    Lines lines;
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const int space = line.indexOf(' ');
        if (space > 0)
            lines[line.left(space).toStdString()] = line.mid(space + 1).toStdString();
    }
    return lines;
}

inline std::string sha256(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().toStdString();
}

// The summary's time and rate are wall-clock figures; everything else in the log is the engine's own.
inline QString withoutClock(QString line)
{
    static const QRegularExpression clock(QStringLiteral(", [0-9.]+ s, [0-9]+ KiB/s$"));
    return line.replace(clock, QStringLiteral(", - s, - KiB/s"));
}

// The test's name, numbered when it runs more than one pass.
inline std::string passName()
{
    const testing::TestInfo *test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "outside-a-test";
    static std::map<std::string, int> seen;
    const int n = seen[name]++;
    return n ? name + "#" + std::to_string(n) : name;
}

template <class Requests> void check(const char *path, const Requests &requests, const QStringList &log)
{
    QByteArray sent;
    for (const auto &request : requests)
        sent.append(reinterpret_cast<const char *>(request.data()), int(request.size()));
    QStringList lines;
    for (const QString &line : log)
        lines << withoutClock(line);
    const std::string name = passName();
    const std::string line = sha256(sent) + " " + sha256(lines.join(QLatin1Char('\n')).toUtf8());
    if (qEnvironmentVariableIntValue("TAVRIN_GOLDEN_WRITE") == 1) {
        Lines all = read(path);
        all[name] = line;
        QFile file(QString::fromUtf8(path));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        for (const auto &[key, value] : all)
            file.write((key + " " + value + "\n").c_str());
        return;
    }
    static const Lines known = read(path);
    const auto it = known.find(name);
    if (it != known.end()) {
        EXPECT_EQ(line, it->second) << "the requests or the log of " << name << " changed";
    }
}

} // namespace golden
