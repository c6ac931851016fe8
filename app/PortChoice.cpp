#include "PortChoice.h"

#include <functional>

namespace {

PortChoice portsThatFit(const QStringList &listed, const std::function<bool(const QString &)> &fits)
{
    PortChoice choice;
    for (int row = 0; row < listed.size(); ++row) {
        if (fits(listed[row])) {
            choice.row = row;
            choice.fitting << listed[row];
        }
    }
    choice.outcome = choice.fitting.isEmpty() ? PortChoice::Unknown
        : choice.fitting.size() == 1          ? PortChoice::Found
                                              : PortChoice::Ambiguous;
    if (choice.outcome != PortChoice::Found)
        choice.row = -1;
    return choice;
}

} // namespace

PortChoice PortChoice::find(const QStringList &listed, const QString &wanted)
{
    if (wanted.isEmpty())
        return {};
    PortChoice exact = portsThatFit(listed, [&](const QString &name) { return name == wanted; });
    if (exact.outcome != Unknown)
        return exact;
    return portsThatFit(
        listed, [&](const QString &name) { return name.contains(wanted, Qt::CaseInsensitive); });
}
