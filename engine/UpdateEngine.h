#pragma once

#include "AgreedRead.h"
#include "DeviceLink.h"
#include "EngineSignals.h"
#include "PortWatcher.h"
#include "SuccessStatus.h"
#include "UpdatePeriod.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

class MidiEvent;
class QTimer;

enum UpdatePhase : int {
    Idle = 0,
    BblScan = 1,
    BblRead = 2,
    DefectListRead = 3,
    BlockErase = 4,
    BblBlockErase = 5,
    DataPageStart = 6,
    DataPageSend = 7,
    DataPageProgram = 8,
    NextBblStart = 9,
    NextBblSend = 10,
    NextBblProgram = 11,
    FirstBblStart = 12,
    FirstBblSend = 13,
    FirstBblProgram = 14,
    // The unit's idle report that confirms CMD_FINISH.
    FinishConfirm = 15,
    // Reading back the pages just written: a data block, or the first sector of a list in block 0.
    BlockReadBack = 16,
    ListReadBack = 17,
    // Before CMD_FINISH: the start of the list page and of every data block written, read once more.
    FinalCheck = 18,
};

// The update engine: the connection to the unit and the pass that writes the image, one file per
// concern in engine/. It receives the MIDI port's events and shows nothing itself: the faces (the window,
// the batch mode) hear it through EngineSignals and drive its clock through tick(). Its texts are the
// window's, so that both faces speak the same catalogue.
class UpdateEngine : public EngineSignals
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    UpdateEngine();
    ~UpdateEngine() override;

    using DeviceNameQuery = const char16_t *(MidiPort::*)(unsigned);
    // The ports on offer: name n is device n, so a row of this list is the device index to connect.
    QStringList portNames(DeviceNameQuery query);

    // Opens the two ports and asks the unit who it is; false when they cannot be opened.
    bool connectUnit(int inputRow, int outputRow);
    void disconnectUnit();
    // Loads the image and asks the unit to prepare its NAND; a refusal ends the pass at once.
    void startPass(bool verify);
    // The 100 ms countdown of time-outs and stalls.
    void tick();
    bool passRunning() const;
    // Follows the ports on offer from now on: portsChanged() while disconnected, and a word in the log
    // when the connection's ports go or their JACK server stops.
    void watchPorts();
    void onJackServerStopped();
    void reportVanishedUnit();
    // `perPage`: one of the lines that come once for every page written.
    void logProgress(const QString &text, bool perPage = false);
    void warnOfPlaceholder();
    // The unit's version as its window shows it: major.minor, the minor in two digits.
    static QString versionText(std::uint32_t value);

    // Reply handlers, time-out and page frames.
    void retry();
    void onNandReady();
    void onFlashData();
    void onDefectData();
    void onEraseStatus();
    void onWriteReady();
    void onDataAck();
    void onProgramStatus();
    int nextGoodBlock(int from) const;
    PassFigures passFigures() const;
    int imagePagesWritten() const;
    int imagePagesReadBack() const; // 0 unless the pass verifies
    int imagePages() const;
    void buildDataFrame();
    void buildBblFrame();
    void addCheckBytes();

protected:
    bool event(QEvent *e) override;
    void customEvent(QEvent *e) override;

private:
    void takeReply(MidiEvent &received);
    void reportSilentUnit();
    void resendIdentify();
    void showPosition();

    void arm();
    void watchForStall();
    void stopPass(const QString &reason);
    void onModeIdle(std::uint64_t arrival);
    void ignoreReply(int code);
    void onModeActive();
    void noteSurplusReply();
    void logOncePerPass(std::uint32_t &logged, int code, const QString &text);
    bool mayRetryStep(bool timedOut);
    QString stepName() const;
    void sendDiscoveryRead();
    bool discoveryDataSound();
    void readNext(int piece);
    void readAgain();
    void rejectImplausible();
    bool startsList() const;
    bool pageHoldsOther();
    bool listEntriesPlausible() const;
    void probeListPage();
    void readListPiece();
    void readOlderList();
    void readDefectList();
    void eraseListBlock();
    void writeFirstList(int page);
    void startDataWriting();
    void eraseCurrentBlock();
    void markCurrentBlockBad();
    void sendPiece();
    void onDataPageProgrammed();
    void leaveBlock();
    void startBlockReadBack();
    void readBackPiece(int piece);
    void sendReadBack();
    enum ReadBackVerdict { ReadBackPending, ReadBackMatches, ReadBackDiffers };
    ReadBackVerdict judgeReadBack(const std::uint8_t *expected);
    void expectedPiece(std::uint8_t *expected) const;
    void onBlockReadBack();
    void repairBlock();
    void startListReadBack();
    void onListReadBack();
    void moveListOn();
    // The 64 bytes of the last data reply are all 0xFF, as an erased page reads.
    bool replyPieceErased() const;
    // What units may choose for themselves, and answers out of turn (engine/UnitVariants.cpp).
    void takeSuccessStatus(int code);
    void onSurplusAnswer(int code);
    void restartShiftedReadBack();
    void logChecksumMismatch();
    void logLastAnswer(bool timedOut);
    void writeList();
    void listStored();
    void endOfPass();
    void finish();
    void startFinalCheck();
    void checkFrom(int imageBlock);
    void checkAfterList(int page);
    void onFinalCheckRead();
    void repairAfterFinalCheck();
    void tellUnitFinished();
    void sendFinishRequest();
    void confirmFinish();
    void beginPassReport();
    void showImageProgress();
    void logPassSummary();
    // A short JACK period for the length of an update, where the server allows one (engine/UpdatePeriod.cpp).
    void askShortPeriod();
    void lengthenPeriod();
    void shortenPeriod();
    void restorePeriod();

public:
    DeviceLink link;
    PortWatcher portWatcher;
    // Single shot: how long the unit has to answer the identify request.
    QTimer *identifyWait = nullptr;
    // Repeats the identify request while it waits.
    QTimer *identifyResend = nullptr;
    // The full names of the connected ports, to tell when they have gone.
    QString inputName;
    QString outputName;
    bool unitGoneReported = false;

    // Update engine state; every pass sets each field before it reads it.
    int connectionState = Disconnected;
    int phase = Idle;
    int timeoutTicks = 0;
    int retryCount = 0;
    int pieceIndex = 0;
    std::int16_t currentBlock = 0;
    std::int16_t dataBlockIndex = 0;
    std::int8_t pageInBlock = 0;
    std::int8_t bblPage = 0;
    std::array<std::uint8_t, 1024> badBlocks{};
    std::array<std::uint8_t, 2096> pageFrame{};
    bool newBadBlocks = false;
    int newBadBlockCount = 0;
    std::int16_t factoryDefects = 0;
    QByteArray imageData;
    int imageSize = 0;
    bool imageDone = false;
    // The unit confirmed the finish of the last pass since Update was pressed.
    bool passFinished = false;
    // The period the JACK server had before the update asked for a shorter one; 0 when it did not ask.
    unsigned periodToRestore = 0;
    PeriodBackoff periodBackoff;

    // Where startPass() loads the image from; tests point it elsewhere.
    QString imagePath = QStringLiteral(":/data/resourcesNAND.bin");
    // The build carries the generated stand-in, which only the simulated unit may take; tests set it.
    bool imageIsPlaceholder = false;
    bool imageLoaded = false;
    // A block 0 whose every page is written; the pass restarts it from page 0.
    bool listBlockFull = false;
    // The scan of block 0: the newest list's page (-1: none), the first erased page, and what a page that
    // is neither a list nor erased read first, to tell what it holds from damage on the way.
    std::int8_t lastListPage = -1;
    std::int8_t firstErasedPage = 0;
    QByteArray otherPageRead;
    // One bit per page of block 0 that starts like a list, so that a rotten newest list can give way.
    std::uint64_t listPages = 0;
    // The first piece of the list that the current list page holds, for the final check.
    std::array<std::uint8_t, 64> listStart{};
    // The physical block of each image block written in this pass, in image order.
    std::vector<std::int16_t> imageBlockPlaces;
    // The final check's item (ListItem, StrayItem, otherwise an image block), the rewrites it has caused,
    // and whether the block being written is such a rewrite.
    static constexpr int ListItem = -1;
    // A page of block 0 after the list, which must read erased when a list program may have gone astray.
    static constexpr int StrayItem = -2;
    int finalCheckBlock = 0;
    int finalCheckRepairs = 0;
    bool repairingBlock = false;
    // A list page read erased after its program: the frame may sit on another page of block 0.
    bool listMayHaveStrayed = false;
    // 100 ms ticks left before a pass that has sent nothing further is reported stalled; 0 when off.
    int stallTicks = 0;
    QElapsedTimer passClock;
    int passRetriesBefore = 0;
    // Retries of the current block or discovery step in a row, and CMD_FINISH sent for this pass.
    int stepRetries = 0;
    int finishSends = 0;
    // The image is in place; what remains is the list in block 0 and the finish.
    bool dataWritten = false;
    // Checks every read from the unit: discovery data and read-backs.
    AgreedRead agreedRead;
    // Read back what this pass writes; given to startPass().
    bool verifyPass = true;
    // The page of currentBlock being read back, and whether a read-back already made this block be
    // written again: a second difference retires it.
    int readBackPage = 0;
    bool blockRewritten = false;
    // What the pieces of a list read back so far showed: the new list, or an erased page.
    bool listReadMatches = false;
    bool listReadErased = false;
    bool doubleReadsLogged = false;
    // One bit per reply code already reported as ignored in this pass.
    std::uint32_t ignoredReplies = 0;
    std::uint32_t unreadableStatuses = 0;
    // Replies in this pass that answered no request, and whether the log named a doubled input.
    int surplusReplies = 0;
    // The current block's erase failed once; a second failure is believed.
    bool eraseFailedOnce = false;
    // The unit said "mode active" after CMD_RESET_NAND and is preparing its NAND.
    bool nandPreparing = false;
    // The page with the image's final byte is programmed: only now may CMD_FINISH go out.
    bool imageWritten = false;

    // The success status this unit answers; a step answered with another one is doubtful, and the data
    // block or list page being written is then read back even when the pass does not verify.
    SuccessStatus successStatus;
    bool statusDoubtful = false;
    bool writeDoubtful = false;
    // A reply came out of turn during a read-back: the answer after it restarts the read-back.
    bool readBackOutOfTurn = false;
    // Messages from the unit since the last answer, so that a stall says whether anything came at all.
    int messagesSinceAnswer = 0;

private:
    PassPosition shownPosition;
};
