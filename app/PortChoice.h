#pragma once

#include <QString>
#include <QStringList>

// Which listed MIDI port a name given on the command line means: the port of exactly that name, or
// else the one port whose name contains it, ignoring case. Never a guess among several.
struct PortChoice
{
    enum Outcome { Found, Ambiguous, Unknown };

    Outcome outcome = Unknown;
    int row = -1;
    // The names that fit, when more than one does.
    QStringList fitting;

    static PortChoice find(const QStringList &listed, const QString &wanted);
};
