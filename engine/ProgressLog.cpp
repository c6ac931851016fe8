#include "MainWindow.h"
#include "NandGeometry.h"

void MainWindow::logProgress(const QString &text, bool perPage)
{
    // A pass writes about two thousand lines; the cap keeps repeated passes from piling up.
    if (LogText->maximumBlockCount() != Engine::LogLineCap)
        LogText->setMaximumBlockCount(Engine::LogLineCap);
    LogText->appendPlainText(text);
    if (logged)
        logged(text, perPage);
}

void MainWindow::beginPassReport()
{
    passClock.start();
    passRetriesBefore = retryCount;
}

int MainWindow::imagePagesWritten() const
{
    return dataBlockIndex * Nand::PagesPerBlock + pageInBlock + 1;
}

int MainWindow::imagePagesReadBack() const
{
    if (!verifyPass)
        return 0;
    const int blocksRead = dataBlockIndex * Nand::PagesPerBlock;
    return qMin(phase == BlockReadBack ? blocksRead + readBackPage + 1 : blocksRead, imagePages());
}

int MainWindow::imagePages() const
{
    return int(qMax<qint64>(1, (qint64(imageSize) + Nand::PageDataSize - 1) / Nand::PageDataSize));
}

void MainWindow::showImageProgress()
{
    const qint64 pages = imagePages();
    // A verified pass reads every page back, which takes about as long as writing it.
    const qint64 done = qMin<qint64>(imagePagesWritten(), pages) + imagePagesReadBack();
    const qint64 total = verifyPass ? 2 * pages : pages;
    progressBar->setValue(int(done * Engine::ProgressMaximum / total));
}

PassFigures MainWindow::passFigures() const
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

void MainWindow::logPassSummary()
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
