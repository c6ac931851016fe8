#include "NandGeometry.h"
#include "SysExFormat.h"
#include "UpdateEngine.h"

#include <QFile>

void UpdateEngine::startPass(bool verify)
{
    verifyPass = verify;

    // A unit given the placeholder would not start until updated again with the maker's image.
    if (imageIsPlaceholder && link.infoText != QLatin1String(SysEx::SimulatedUnitText)) {
        stopPass(
            tr("Update refused: this build carries a generated placeholder instead of the maker's image, "
               "and only the simulated unit (tavrin-sim) takes it. Build Tavrin Update with the maker's "
               "image (cmake -DTAVRIN_IMAGE=/path/to/image.bin) to update this unit."));
        return;
    }

    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        stopPass(tr("Update refused: the image cannot be opened"));
        return;
    }
    const qint64 size = file.size();
    if (size > Nand::MaxImageSize) {
        stopPass(tr("Update refused: the image (%1 bytes) does not fit the NAND").arg(size));
        return;
    }
    QByteArray loaded(int(size), Qt::Uninitialized);
    if (file.read(loaded.data(), size) != size) {
        stopPass(tr("Update refused: the image cannot be opened"));
        return;
    }
    file.close();

    imageData = std::move(loaded);
    imageSize = int(size);
    imageLoaded = true;
    imageDone = false;
    passFinished = false;
    phase = Idle;
    ignoredReplies = 0;
    warnOfPlaceholder();
    unreadableStatuses = 0;
    surplusReplies = 0;
    nandPreparing = false;
    askShortPeriod();
    link.sendResetNand(Engine::ResetFirst, Engine::ResetSecond, std::uint32_t(imageSize));
    // Nothing answers for the countdown here; only the stall watch notices a unit that never gets ready.
    watchForStall();
    logProgress(tr("Reset NAND"));
    showPosition();
}

void UpdateEngine::warnOfPlaceholder()
{
    if (imageIsPlaceholder)
        logProgress(tr("This build carries a generated placeholder instead of the unit's image: use it with "
                       "tavrin-sim only, never with a real unit."));
}
