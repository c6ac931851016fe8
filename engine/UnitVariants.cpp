#include "ReplyCode.h"
#include "SysExFormat.h"
#include "UpdateEngine.h"

namespace {

QString statusText(int value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

void UpdateEngine::takeSuccessStatus(int code)
{
    statusDoubtful = false;
    if ((code != REPLY_ERASE_STATUS && code != REPLY_DATA_ACK && code != REPLY_PROGRAM_STATUS)
        || link.statusFailed)
        return;
    const std::uint8_t value = link.statusValue;
    if (value != SysEx::StatusOk && !successStatus.seen(value))
        logProgress(tr("Status %1 (reply code %2) is taken as success, as the protocol allows; further ones "
                       "are not logged in this pass")
                        .arg(statusText(value))
                        .arg(code));
    const int usual = successStatus.usualValue();
    statusDoubtful = successStatus.doubts(value);
    if (!statusDoubtful)
        return;
    logProgress(tr("Status %1 (reply code %2) is not the %3 this unit answers for success; %4 is checked")
                    .arg(statusText(value))
                    .arg(code)
                    .arg(statusText(usual))
                    .arg(stepName()));
    if (code != REPLY_ERASE_STATUS)
        writeDoubtful = true;
}

void UpdateEngine::onSurplusAnswer(int code)
{
    if (code == REPLY_FLASH_DATA && (phase == BlockReadBack || phase == ListReadBack || phase == FinalCheck)
        && !agreedRead.shiftSuspected()) {
        readBackOutOfTurn = true;
        return;
    }
    if (code != REPLY_DATA_ACK || !link.statusFailed)
        return;
    switch (phase) {
    case DataPageSend:
    case NextBblSend:
    case FirstBblSend:
        // A piece reported damaged after the next one went out: the open page holds it.
        logProgress(tr("The unit reported a piece damaged after the next one went out; %1 starts again")
                        .arg(stepName()));
        retry();
        break;
    case DataPageStart:
    case DataPageProgram:
    case NextBblStart:
    case NextBblProgram:
    case FirstBblStart:
    case FirstBblProgram:
        logProgress(tr("The unit reported a piece damaged after its page was programmed; %1 is read back")
                        .arg(stepName()));
        writeDoubtful = true;
        break;
    default:
        break;
    }
}

void UpdateEngine::logChecksumMismatch()
{
    if (doubleReadsLogged || !agreedRead.checksumMismatchSeen())
        return;
    doubleReadsLogged = true;
    logProgress(tr("The unit's data replies do not carry their checksum; each one is read twice"));
}

void UpdateEngine::logLastAnswer(bool timedOut)
{
    logProgress(timedOut ? tr("%1: no reply came to the last request").arg(stepName())
                         : tr("%1: the last reply was %2").arg(stepName(), link.traceText));
}
