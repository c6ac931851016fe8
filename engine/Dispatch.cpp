#include "MidiEvent.h"
#include "NandGeometry.h"
#include "ReplyCode.h"
#include "UpdateEngine.h"

namespace {

// The version travels as two numbers, major in bits 0 to 7 and minor in bits 8 to 15.
constexpr std::uint32_t VersionPartMask = 0xFF;
constexpr int VersionMinorShift = 8;

} // namespace

QString UpdateEngine::versionText(std::uint32_t value)
{
    const long major = long(value & VersionPartMask);
    const long minor = long((value >> VersionMinorShift) & VersionPartMask);
    return QString::asprintf("%ld.%02ld", major, minor);
}

bool UpdateEngine::event(QEvent *e)
{
    if (e->type() != MidiEvent::MidiEventType)
        return QObject::event(e);
    takeReply(*static_cast<MidiEvent *>(e));
    showPosition();
    return true;
}

void UpdateEngine::takeReply(MidiEvent &received)
{
    const int code = link.takeInput(received.takeHeader());
    ++messagesSinceAnswer;
    switch (code) {
    case REPLY_NONE:
        if (link.unreadableStatus != REPLY_NONE)
            logOncePerPass(unreadableStatuses, link.unreadableStatus,
                tr("A status reply of the wrong length (reply code %1) counts as lost; further ones of this "
                   "kind are not logged in this pass"));
        return;
    case REPLY_DEVICE_INFO:
        if (connectionState == Connecting) {
            connectionState = Connected;
            emit controlsReleased(connectionState);
        }
        emit deviceInfo(link.serialText, versionText(link.versionValue));
        return;
    case REPLY_MODE_IDLE:
        onModeIdle(received.arrival);
        return;
    case REPLY_MODE_ACTIVE:
        onModeActive();
        return;
    default:
        break;
    }

    if (!link.takeAnswer(code, received.arrival)) {
        noteSurplusReply();
        ignoreReply(code);
        onSurplusAnswer(code);
        return;
    }
    // Only an answer is progress: retries of a silent unit must not keep the stall watch from firing.
    watchForStall();
    shortenPeriod();
    takeSuccessStatus(code);
    switch (code) {
    case REPLY_DEFECT_DATA:
        onDefectData();
        break;
    case REPLY_FLASH_DATA:
        onFlashData();
        break;
    case REPLY_ERASE_STATUS:
        onEraseStatus();
        break;
    case REPLY_WRITE_READY:
        onWriteReady();
        break;
    case REPLY_DATA_ACK:
        onDataAck();
        break;
    case REPLY_PROGRAM_STATUS:
        onProgramStatus();
        break;
    case REPLY_NAND_READY:
        onNandReady();
        break;
    default:
        break;
    }
}

void UpdateEngine::onModeIdle(std::uint64_t arrival)
{
    if (phase == FinishConfirm && link.takeAnswer(REPLY_MODE_IDLE, arrival)) {
        confirmFinish();
        return;
    }
    // The unit's idle report in the middle of a pass is stale or stray; the pass is not over.
    if (passRunning()) {
        ignoreReply(REPLY_MODE_IDLE);
        return;
    }
    emit controlsReleased(connectionState);
}

void UpdateEngine::onModeActive()
{
    // Only the start of a pass shows the bar and locks the controls: a stray report after a stop would
    // lock them for good, and one in the middle of a pass would reset the bar.
    if (!passRunning()) {
        ignoreReply(REPLY_MODE_ACTIVE);
        return;
    }
    if (phase != Idle || nandPreparing)
        return;
    emit passStarted();
    nandPreparing = true;
    // Preparing the NAND may take a slow unit longer than the silence that stops a pass.
    stallTicks = Engine::NandPrepareTicks;
    logProgress(tr("The unit is preparing its NAND; waiting up to 60 s for it"));
}

bool UpdateEngine::passRunning() const
{
    return phase != Idle || link.awaiting(REPLY_NAND_READY);
}

void UpdateEngine::ignoreReply(int code)
{
    logOncePerPass(ignoredReplies, code,
        tr("Ignored a reply that answers no request in flight (reply code %1); further ones of this kind are "
           "not logged in this pass"));
}

void UpdateEngine::logOncePerPass(std::uint32_t &logged, int code, const QString &text)
{
    const std::uint32_t kind = 1u << code;
    if (logged & kind)
        return;
    logged |= kind;
    logProgress(text.arg(code));
}

void UpdateEngine::noteSurplusReply()
{
    // A copy now and then is a glitch; a surplus that keeps coming is an input that hears the unit twice,
    // whose late copies can pass for the answers to later requests.
    if (passRunning() && ++surplusReplies == Engine::DoubledLinkSurplus)
        logProgress(tr("Every reply arrives twice: the unit is connected to this input more than once"));
}

void UpdateEngine::tick()
{
    if (stallTicks > 0 && --stallTicks == 0) {
        if (nandPreparing && link.awaiting(REPLY_NAND_READY))
            stopPass(tr("Update stopped: the unit did not get its NAND ready within 60 s"));
        else if (messagesSinceAnswer > 0)
            stopPass(tr("Update stopped: for 10 s the unit's %1 replies answered no request in flight; the "
                        "last was %2")
                         .arg(messagesSinceAnswer)
                         .arg(link.traceText));
        else
            stopPass(
                tr("Update stopped: no reply from the unit for 10 s. Check that input and output are the "
                   "same unit, and its cable and power; then press Disconnect and Connect. Update starts "
                   "the whole update again."));
    }
    if (timeoutTicks > 0 && --timeoutTicks == 0) {
        lengthenPeriod();
        retry();
    }
    showPosition();
}

void UpdateEngine::retry()
{
    switch (phase) {
    case BblScan:
    case BblRead:
    case DefectListRead:
        if (mayRetryStep(true))
            sendDiscoveryRead();
        break;
    case BblBlockErase:
        if (mayRetryStep(true))
            eraseListBlock();
        break;
    case NextBblStart:
    case NextBblSend:
    case NextBblProgram:
    case FirstBblStart:
    case FirstBblSend:
    case FirstBblProgram:
        // Whether the list reached its page decides where it goes next.
        if (mayRetryStep(true))
            startListReadBack();
        break;
    case BlockErase:
    case DataPageStart:
    case DataPageSend:
    case DataPageProgram:
        if (mayRetryStep(true))
            eraseCurrentBlock();
        break;
    case BlockReadBack:
    case ListReadBack:
    case FinalCheck:
        // The lost answer may still come, and pass for the answer to the next request.
        if (mayRetryStep(true)) {
            agreedRead.suspectShift();
            sendReadBack();
        }
        break;
    case FinishConfirm:
        if (finishSends < Engine::MaxFinishSends)
            sendFinishRequest();
        else
            stopPass(tr("Update stopped: the unit did not confirm the finish"));
        break;
    default:
        break;
    }
}

bool UpdateEngine::mayRetryStep(bool timedOut)
{
    if (stepRetries >= Engine::MaxStepRetries) {
        logLastAnswer(timedOut);
        stopPass(tr("Update stopped: %1 failed again after %2 retries").arg(stepName()).arg(stepRetries));
        return false;
    }
    ++stepRetries;
    if (timedOut) {
        ++retryCount;
        // Else a lost answer shows only as a pause and a step done again.
        logProgress(tr("No reply within 2.5 s during %1: retry %2 of %3")
                        .arg(stepName())
                        .arg(stepRetries)
                        .arg(Engine::MaxStepRetries));
    }
    return true;
}

QString UpdateEngine::stepName() const
{
    switch (phase) {
    case BblScan:
        return tr("the search for a bad-block list in block 0, page %1").arg(bblPage);
    case BblRead:
        return tr("the read of the bad-block list in block 0, page %1").arg(bblPage);
    case DefectListRead:
        return tr("the read of the factory defect list");
    case BlockErase:
    case DataPageStart:
    case DataPageSend:
    case DataPageProgram:
        return tr("the write of block %1").arg(currentBlock);
    case BlockReadBack:
        return tr("the read-back of block %1, page %2").arg(currentBlock).arg(readBackPage);
    case BblBlockErase:
        return tr("the erase of block 0");
    case FinalCheck:
        return finalCheckBlock < 0 ? tr("the final check of the bad-block list in block 0, page %1")
                                         .arg(finalCheckBlock == StrayItem ? readBackPage : bblPage)
                                   : tr("the final check of block %1").arg(currentBlock);
    default:
        return tr("the write of the bad-block list to block 0, page %1").arg(bblPage);
    }
}

void UpdateEngine::arm()
{
    timeoutTicks = Engine::TimeoutTicks;
}

void UpdateEngine::watchForStall()
{
    stallTicks = Engine::StallTicks;
    messagesSinceAnswer = 0;
}

void UpdateEngine::stopPass(const QString &reason)
{
    // Whatever arrives from now on belongs to the stopped pass: nothing is in flight any more.
    phase = Idle;
    timeoutTicks = 0;
    stallTicks = 0;
    link.forgetRequest();
    restorePeriod();
    logProgress(reason);
    emit controlsReleased(connectionState);
    emit passEnded(false, reason, passFigures());
}
