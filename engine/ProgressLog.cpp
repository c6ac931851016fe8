#include "NandGeometry.h"
#include "UpdateEngine.h"

void UpdateEngine::logProgress(const QString &text, bool perPage)
{
    emit logLine(text, perPage);
}

void UpdateEngine::beginPassReport()
{
    passClock.start();
    passRetriesBefore = retryCount;
}

int UpdateEngine::imagePagesWritten() const
{
    return dataBlockIndex * Nand::PagesPerBlock + pageInBlock + 1;
}

int UpdateEngine::imagePagesReadBack() const
{
    if (!verifyPass)
        return 0;
    const int blocksRead = dataBlockIndex * Nand::PagesPerBlock;
    return qMin(phase == BlockReadBack ? blocksRead + readBackPage + 1 : blocksRead, imagePages());
}

int UpdateEngine::imagePages() const
{
    return int(qMax<qint64>(1, (qint64(imageSize) + Nand::PageDataSize - 1) / Nand::PageDataSize));
}

void UpdateEngine::showImageProgress()
{
    const qint64 pages = imagePages();
    // A verified pass reads every page back, which takes about as long as writing it.
    const qint64 done = qMin<qint64>(imagePagesWritten(), pages) + imagePagesReadBack();
    const qint64 total = verifyPass ? 2 * pages : pages;
    emit progressValue(int(done * Engine::ProgressMaximum / total));
}

// Where the pass stands, for a face that shows more than the bar: each change once.
void UpdateEngine::showPosition()
{
    PassPosition now;
    now.phase = phase;
    now.totalPages = imagePages();
    now.verifying = verifyPass;
    const bool writing = phase >= BlockErase && phase <= DataPageProgram;
    if (dataWritten)
        now.pages = now.totalPages;
    else if (writing)
        now.pages = dataBlockIndex * Nand::PagesPerBlock + (phase == BlockErase ? 0 : pageInBlock);
    now.pagesReadBack = imagePagesReadBack();
    now.block = writing || phase == BlockReadBack ? currentBlock : -1;
    now.newBadBlocks = newBadBlockCount;
    if (now == shownPosition)
        return;
    shownPosition = now;
    emit positionChanged(now);
}

PassFigures UpdateEngine::passFigures() const
{
    PassFigures figures;
    figures.pages = imagePagesWritten();
    figures.blocks = dataBlockIndex + 1;
    figures.newBadBlocks = newBadBlockCount;
    figures.retries = retryCount - passRetriesBefore;
    figures.verified = verifyPass;
    figures.seconds = passClock.isValid() ? passClock.nsecsElapsed() / 1e9 : 0.0;
    const double kib = double(figures.pages) * Nand::PageDataSize / Engine::KiB;
    figures.kibPerSecond = figures.seconds > 0.0 ? kib / figures.seconds : 0.0;
    return figures;
}

void UpdateEngine::logPassSummary()
{
    const PassFigures figures = passFigures();
    logProgress((figures.verified
            ? tr("Pass finished: %1 pages in %2 blocks, verified, %3 retries, %4 s, %5 KiB/s")
            : tr("Pass finished: %1 pages in %2 blocks, not verified, %3 retries, %4 s, %5 KiB/s"))
                    .arg(figures.pages)
                    .arg(figures.blocks)
                    .arg(figures.retries)
                    .arg(figures.seconds, 0, 'f', 1)
                    .arg(figures.kibPerSecond, 0, 'f', 0));
}
