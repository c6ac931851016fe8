#include "MainWindow.h"
#include "NandGeometry.h"

void MainWindow::logProgress(const QString &text)
{
    // A pass writes about two thousand lines; the cap keeps repeated passes from piling up.
    if (LogText->maximumBlockCount() != Engine::LogLineCap)
        LogText->setMaximumBlockCount(Engine::LogLineCap);
    LogText->appendPlainText(text);
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

void MainWindow::showImageProgress()
{
    const qint64 pages = qMax<qint64>(1, (qint64(imageSize) + Nand::PageDataSize - 1) / Nand::PageDataSize);
    qint64 done = qMin<qint64>(imagePagesWritten(), pages);
    qint64 total = pages;
    // A verified pass reads every page back, which takes about as long as writing it.
    if (verifyPass) {
        const qint64 blocksRead = qint64(dataBlockIndex) * Nand::PagesPerBlock;
        done += qMin<qint64>(phase == BlockReadBack ? blocksRead + readBackPage + 1 : blocksRead, pages);
        total *= 2;
    }
    progressBar->setValue(int(done * Engine::ProgressMaximum / total));
}

void MainWindow::logPassSummary()
{
    const int pages = imagePagesWritten();
    const int blocks = dataBlockIndex + 1;
    const double seconds = passClock.isValid() ? passClock.nsecsElapsed() / 1e9 : 0.0;
    const double kib = double(pages) * Nand::PageDataSize / Engine::KiB;
    const double rate = seconds > 0.0 ? kib / seconds : 0.0;
    logProgress(
        (verifyPass ? tr("Pass finished: %1 pages in %2 blocks, verified, %3 retries, %4 s, %5 KiB/s")
                    : tr("Pass finished: %1 pages in %2 blocks, not verified, %3 retries, %4 s, %5 KiB/s"))
            .arg(pages)
            .arg(blocks)
            .arg(retryCount - passRetriesBefore)
            .arg(seconds, 0, 'f', 1)
            .arg(rate, 0, 'f', 0));
}
