#include "E2EJackTest.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <csignal>

namespace {

// Batch updates over a private JACK server: what the exit status and the JSON stream say.
class BatchTest : public E2ETest
{
protected:
    std::unique_ptr<SimProcess> startNamedUnit(const std::string &name, std::vector<std::string> arguments)
    {
        arguments.insert(
            arguments.end(), {"--midi", "jack", "--name", name, "--dump", path((name + ".bin").c_str())});
        auto unit = std::make_unique<SimProcess>(arguments, path((name + ".log").c_str()));
        if (!WindowDriver::waitForDevice(QString::fromStdString(name), PortsMilliseconds))
            ADD_FAILURE() << "the simulated unit's ports did not appear:\n" << unit->log();
        return unit;
    }
};

// Two units, each updated by a process of its own at the same time; a name that fits both is refused.
TEST_F(BatchTest, TwoUnitsAtOnceBothHoldTheImageAndTheStreamEndsInAnOkResult)
{
    auto first = startNamedUnit("Tavrin A", {});
    auto second = startNamedUnit("Tavrin B", {});
    auto ambiguous = startBatch("tavrin", "ambiguous.log", false);
    EXPECT_EQ(ambiguous->finish(), 2);
    const QJsonObject refusal = events(ambiguous->log()).back();
    EXPECT_TRUE(
        refusal[QStringLiteral("error")].toString().contains(QStringLiteral("Tavrin A:out, Tavrin B:out")))
        << ambiguous->log();

    // Unverified: what is tested here is two at once; the ALSA batch test verifies.
    auto updateA = startBatch("Tavrin A", "update-a.log", false);
    auto updateB = startBatch("Tavrin B", "update-b.log", false);
    EXPECT_EQ(updateA->finish(), 0) << updateA->log();
    EXPECT_EQ(updateB->finish(), 0) << updateB->log();

    expect::Scenario scenario;
    scenario.image = image;
    const Bytes expected = dataArea(expect::expectedNand(scenario, erasedBlock()));
    for (auto [unit, update, name] : {std::tuple(first.get(), updateA.get(), "Tavrin A"),
             std::tuple(second.get(), updateB.get(), "Tavrin B")}) {
        EXPECT_EQ(unit->stop(), 0) << unit->log();
        EXPECT_EQ(firstDifference(readFile(path((std::string(name) + ".bin").c_str())), expected), "")
            << name;

        const std::vector<QJsonObject> stream = events(update->log());
        ASSERT_GE(stream.size(), 4u);
        EXPECT_EQ(stream[0][QStringLiteral("event")], QStringLiteral("ports"));
        EXPECT_EQ(stream[1][QStringLiteral("event")], QStringLiteral("connected"));
        int pages = 0;
        for (const QJsonObject &event : stream) {
            if (event[QStringLiteral("event")] == QStringLiteral("progress")) {
                EXPECT_GE(event[QStringLiteral("pages")].toInt(), pages);
                pages = event[QStringLiteral("pages")].toInt();
            }
        }
        const QJsonObject result = stream.back();
        EXPECT_EQ(result[QStringLiteral("event")], QStringLiteral("result"));
        EXPECT_EQ(result[QStringLiteral("ok")], true);
        EXPECT_EQ(result[QStringLiteral("verified")], false);
        EXPECT_EQ(result[QStringLiteral("pages")].toInt(), expect::imagePages(scenario.image));
        EXPECT_EQ(pages, expect::imagePages(scenario.image));
    }
}

struct FailureCase
{
    const char *name;
    std::vector<std::string> unitArguments;
    const char *port;
    // Done once the update writes, to the unit or to the updater.
    int unitSignal;
    int updaterSignal;
    int status;
    const char *error;
    // Sent to the JACK server once the update writes, and SIGCONT after the run.
    int serverSignal = 0;
};

const FailureCase failureCases[] = {
    {"UnknownPort", {}, "Tavrin Z", 0, 0, 2, "fits none of the MIDI inputs"},
    // The identify is sent again every half second: a unit that loses every reply never answers it.
    {"IdentifyUnanswered", {"--drop-every", "1"}, "Tavrin C", 0, 0, 1, "no answer to identify within 3 s"},
    {"UnitGoesSilent", {}, "Tavrin C", SIGKILL, 0, 1, "no reply from the unit for 10 s"},
    {"Interrupted", {}, "Tavrin C", 0, SIGINT, 130, "a new run starts the whole update over"},
    {"ServerStopped", {}, "Tavrin C", 0, 0, 1, "no reply from the unit for 10 s", SIGSTOP},
};

void PrintTo(const FailureCase &row, std::ostream *out)
{
    *out << row.name;
}

class BatchFailureTest : public BatchTest, public testing::WithParamInterface<FailureCase>
{
};

TEST_P(BatchFailureTest, EndsWithItsExitStatusAndAResultThatSaysWhy)
{
    const FailureCase &row = GetParam();
    auto unit = startNamedUnit("Tavrin C", row.unitArguments);
    auto update = startBatch(row.port, "update.log", false);
    if (row.unitSignal || row.updaterSignal || row.serverSignal) {
        QElapsedTimer clock;
        clock.start();
        while (update->log().find(R"("phase":"write")") == std::string::npos
            && clock.elapsed() < PortsMilliseconds)
            QThread::msleep(20);
        if (row.unitSignal)
            unit->signal(row.unitSignal);
        if (row.updaterSignal)
            update->signal(row.updaterSignal);
        if (row.serverSignal)
            server->signal(row.serverSignal);
    }
    EXPECT_EQ(update->finish(), row.status) << update->log();
    if (row.serverSignal)
        server->signal(SIGCONT);
    const QJsonObject result = events(update->log()).back();
    EXPECT_EQ(result[QStringLiteral("event")], QStringLiteral("result"));
    EXPECT_EQ(result[QStringLiteral("ok")], false);
    EXPECT_TRUE(result[QStringLiteral("error")].toString().contains(QString::fromLatin1(row.error)))
        << update->log();
}

INSTANTIATE_TEST_SUITE_P(Cases, BatchFailureTest, testing::ValuesIn(failureCases),
    [](const testing::TestParamInfo<FailureCase> &info) { return std::string(info.param.name); });

} // namespace
