#include "StandaloneUnit.h"

#include "StateFile.h"

#include <thread>
#include <vector>

namespace {

// A pass that goes wrong can find an error in every page; the first ones tell the story.
constexpr int ShownErrorsPerPass = 20;
constexpr auto PollInterval = std::chrono::milliseconds(100);
// A corrupted reply has bit 0 of byte 11 flipped: the first data byte, or the end of a short reply.
constexpr int CorruptPosition = 11;
constexpr std::uint8_t CorruptMask = 0x01;

std::string joined(const std::vector<int> &numbers)
{
    std::string text;
    for (int n : numbers)
        text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text;
}

std::string pageName(const std::pair<int, int> &page)
{
    return "block " + std::to_string(page.first) + " page " + std::to_string(page.second);
}

} // namespace

StandaloneUnit::StandaloneUnit(const SimOptions &options, std::ostream &log)
    : options(options)
    , log(log)
{
}

bool StandaloneUnit::start()
{
    const bool started = prepare();
    writeLog();
    return started;
}

bool StandaloneUnit::prepare()
{
    // A unit that could not save its NAND at the end would lose a whole pass; it does not start.
    for (const std::string &path : {options.statePath, options.dumpPath}) {
        std::string error;
        if (!path.empty() && !StateFile::canWrite(path, error)) {
            say("error: " + error);
            return false;
        }
    }
    if (!options.statePath.empty()) {
        int pages = 0;
        std::string error;
        std::string warning;
        switch (StateFile::load(options.statePath, unit, pages, error, warning)) {
        case StateFile::Loaded::Pages:
            if (!warning.empty())
                say("warning: " + warning);
            say("NAND loaded from " + options.statePath + ": " + std::to_string(pages) + " programmed pages");
            break;
        case StateFile::Loaded::Missing:
            say("NAND erased: " + options.statePath + " does not exist yet");
            break;
        case StateFile::Loaded::Damaged:
            say("error: " + error);
            return false;
        }
    }

    if (options.serial)
        unit.setSerial(*options.serial);
    if (options.version)
        unit.setVersion(*options.version);
    if (options.resetCode)
        unit.setResetCode(*options.resetCode);
    unit.setFactoryDefects(options.defects);
    if (!options.defects.empty())
        say("factory-defective blocks: " + joined(options.defects));
    for (int block : options.eraseFailures) {
        unit.failErase(block);
        say("every erase of block " + std::to_string(block) + " fails");
    }
    for (const auto &page : options.programFailures) {
        unit.failProgram(page.first, page.second);
        say("every program of " + pageName(page) + " fails");
    }
    for (const auto &page : options.flippedPages) {
        unit.flipStoredBit(page.first, page.second);
        say("the next program of " + pageName(page) + " stores a flipped bit and says it succeeded");
    }
    for (const auto &page : options.weakPages) {
        unit.flipStoredBit(page.first, page.second, -1);
        say("every program of " + pageName(page) + " stores a flipped bit and says it succeeded");
    }
    for (const auto &page : options.silentFailures) {
        unit.failProgramSilently(page.first, page.second);
        say("the next program of " + pageName(page) + " leaves it erased and says it succeeded");
    }
    if (options.dropEvery > 0 && options.seed) {
        randomLoss = true;
        random.seed(*options.seed);
        loss = std::bernoulli_distribution(1.0 / options.dropEvery);
        say("each reply is lost with a chance of 1 in " + std::to_string(options.dropEvery) + " (seed "
            + std::to_string(*options.seed) + ")");
    } else if (options.dropEvery > 0) {
        unit.injectReplyFault(SimulatedUnit::Fault::Lose, options.dropEvery, true);
        say("every " + std::to_string(options.dropEvery) + "th reply is lost");
    }

    for (const auto &[fault, reply] : options.replyFaults) {
        if (fault == SimulatedUnit::Fault::Corrupt)
            unit.injectCorruption(reply, CorruptPosition, CorruptMask);
        else if (fault == SimulatedUnit::Fault::Delay)
            unit.injectDelay(reply, 1);
        else
            unit.injectReplyFault(fault, reply);
        say("reply " + std::to_string(reply) + " has a fault");
    }
    for (int piece : options.damagedPieces) {
        unit.damagePiece(piece);
        say("piece " + std::to_string(piece) + " arrives damaged");
    }
    for (const SimOptions::DamagedRequest &damage : options.damagedRequests) {
        unit.damageRequest(damage.what, damage.nth, damage.bit);
        say("request " + std::to_string(damage.nth) + " of its kind arrives damaged");
    }
    if (options.checksumByte) {
        unit.fillDataChecksumWith(*options.checksumByte);
        say("data replies carry " + std::to_string(*options.checksumByte) + " in place of their checksum");
    }
    if (options.checksumNoise) {
        unit.fillDataChecksumWithNoise(options.seed.value_or(0));
        say("data replies carry a random value in place of their checksum");
    }
    if (options.okStatus) {
        unit.answerSuccessWith(*options.okStatus);
        say("success is answered with status " + std::to_string(*options.okStatus));
    }
    if (options.latencyMs > 0)
        say("replies leave " + std::to_string(options.latencyMs) + " ms late");

    if (!port.open(
            options.name, [this](const std::uint8_t *bytes, std::size_t size) { receive(bytes, size); },
            options.midi)) {
        say("error: cannot open the MIDI ports: " + port.errorText());
        return false;
    }
    say("ports \"" + options.name + "\" (" + VirtualPort::InputName + ", " + VirtualPort::OutputName
        + ") open on " + VirtualPort::backendName(port.backend()));
    return true;
}

int StandaloneUnit::serve(const volatile std::sig_atomic_t &stop)
{
    say("answering as a Tavrin until interrupted");
    while (!stop) {
        bool passEnded = false;
        {
            std::unique_lock<std::mutex> lock(inboxMutex);
            arrived.wait_for(
                lock, PollInterval, [this] { return deferring || !lines.empty() || !lateRequests.empty(); });
            passEnded = deferring;
        }
        writeLog();
        answerLate();
        if (passEnded)
            completePasses();
    }
    // Closed without a lock held: the MIDI thread may be waiting for one to finish its cycle.
    port.close();

    std::lock_guard<std::mutex> lock(unitMutex);
    if (passOpen)
        endPass(unit.stats(), PassReport::End::Interrupted);
    persist();
    const std::size_t errors = unit.errors().size();
    say("stopped after " + std::to_string(passesFinished) + " finished passes; " + std::to_string(errors)
        + " errors found in what the updater sent");
    writeLog();
    return errors == 0 && !filesFailed ? 0 : 1;
}

void StandaloneUnit::receive(const std::uint8_t *bytes, std::size_t size)
{
    {
        std::lock_guard<std::mutex> lock(inboxMutex);
        if (options.latencyMs > 0) {
            lateRequests.emplace_back(
                Clock::now() + std::chrono::milliseconds(options.latencyMs), Message(bytes, bytes + size));
            arrived.notify_one();
            return;
        }
        if (deferring) {
            inbox.emplace_back(bytes, bytes + size);
            return;
        }
    }
    std::lock_guard<std::mutex> lock(unitMutex);
    answer(Message(bytes, bytes + size));
}

void StandaloneUnit::answer(const Message &request)
{
    const SimulatedUnit::Stats before = unit.stats();
    const std::vector<Message> replies = unit.handle(request.data(), request.size());
    const SimulatedUnit::Stats after = unit.stats();
    if (after.passesStarted != before.passesStarted) {
        if (passOpen)
            endPass(before, PassReport::End::Abandoned);
        startPass(before);
    }
    reportNewErrors();
    if (!passOpen && after.passesFinished == before.passesFinished) {
        for (int command = 0; command < SimulatedUnit::Stats::CommandValues; ++command) {
            if (after.requestsByCommand[command] != before.requestsByCommand[command])
                say(std::string(SimulatedUnit::commandName(std::uint8_t(command)))
                    + " outside a pass: " + (replies.empty() ? "not answered" : "answered"));
        }
    }
    if (after.passesFinished != before.passesFinished && passOpen) {
        // The files are complete before the updater hears that the pass is over.
        endPass(after, PassReport::End::Finished);
        finishPending = true;
        heldReplies = replies;
        std::lock_guard<std::mutex> lock(inboxMutex);
        deferring = true;
        arrived.notify_one();
        return;
    }
    send(replies);
}

void StandaloneUnit::completePasses()
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(unitMutex);
            if (finishPending) {
                persist();
                send(heldReplies);
                heldReplies.clear();
                finishPending = false;
            }
        }
        writeLog();
        Message request;
        {
            std::lock_guard<std::mutex> lock(inboxMutex);
            if (inbox.empty()) {
                deferring = false;
                return;
            }
            request = std::move(inbox.front());
            inbox.pop_front();
        }
        std::lock_guard<std::mutex> lock(unitMutex);
        answer(request);
    }
}

void StandaloneUnit::answerLate()
{
    for (;;) {
        Clock::time_point due;
        {
            std::lock_guard<std::mutex> lock(inboxMutex);
            if (lateRequests.empty())
                return;
            due = lateRequests.front().first;
        }
        std::this_thread::sleep_until(due);
        Message request;
        {
            std::lock_guard<std::mutex> lock(inboxMutex);
            request = std::move(lateRequests.front().second);
            lateRequests.pop_front();
        }
        bool passEnded = false;
        {
            std::lock_guard<std::mutex> lock(unitMutex);
            answer(request);
            passEnded = finishPending;
        }
        if (passEnded)
            completePasses();
    }
}

void StandaloneUnit::send(const std::vector<Message> &replies)
{
    for (const Message &reply : replies) {
        if (randomLoss && loss(random)) {
            ++randomLosses;
            continue;
        }
        port.send(reply.data(), reply.size());
    }
}

void StandaloneUnit::startPass(const SimulatedUnit::Stats &before)
{
    passOpen = true;
    ++passNumber;
    passStart = before;
    passErrorsStart = unit.errors().size();
    passRandomLossesStart = randomLosses;
    passErrorsHidden = 0;
    passClock = Clock::now();
    say("pass " + std::to_string(passNumber) + " started: image of " + std::to_string(unit.lastImageSize())
        + " bytes");
}

void StandaloneUnit::endPass(const SimulatedUnit::Stats &now, PassReport::End end)
{
    passOpen = false;
    if (end == PassReport::End::Finished)
        ++passesFinished;
    if (passErrorsHidden > 0)
        say("... and " + std::to_string(passErrorsHidden) + " further errors in pass "
            + std::to_string(passNumber));

    std::vector<std::uint8_t> block0;
    for (int page = 0; page < SimulatedUnit::PagesPerBlock; ++page) {
        const std::vector<std::uint8_t> data = unit.pageData(0, page);
        block0.insert(block0.end(), data.begin(), data.end());
    }
    PassReport::Figures figures;
    figures.number = passNumber;
    figures.end = end;
    figures.before = passStart;
    figures.after = now;
    figures.errors = int(unit.errors().size() - passErrorsStart);
    figures.randomLosses = randomLosses - passRandomLossesStart;
    figures.seconds = std::chrono::duration<double>(Clock::now() - passClock).count();
    figures.list = NandCheck::lastList(block0.data());
    for (const std::string &line : PassReport::lines(figures))
        say(line);
}

void StandaloneUnit::reportNewErrors()
{
    const std::vector<std::string> &errors = unit.errors();
    for (; errorsReported < errors.size(); ++errorsReported) {
        if (passOpen && int(errorsReported - passErrorsStart) >= ShownErrorsPerPass)
            ++passErrorsHidden;
        else
            say("error: " + errors[errorsReported]);
    }
}

bool StandaloneUnit::persist()
{
    std::string error;
    if (!options.statePath.empty()) {
        if (StateFile::save(options.statePath, unit, error))
            say("NAND saved to " + options.statePath);
        else {
            say("error: " + error);
            filesFailed = true;
        }
    }
    if (!options.dumpPath.empty()) {
        if (StateFile::writeDump(options.dumpPath, unit, error))
            say("data area written to " + options.dumpPath);
        else {
            say("error: " + error);
            filesFailed = true;
        }
    }
    return !filesFailed;
}

void StandaloneUnit::say(const std::string &line)
{
    std::lock_guard<std::mutex> lock(inboxMutex);
    lines.push_back(line);
    arrived.notify_one();
}

void StandaloneUnit::writeLog()
{
    std::deque<std::string> waiting;
    {
        std::lock_guard<std::mutex> lock(inboxMutex);
        waiting.swap(lines);
    }
    for (const std::string &line : waiting)
        log << "tavrin-sim: " << line << '\n';
    log.flush();
}
