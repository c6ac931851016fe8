#include "BuildInfo.h"
#include "MainWindow.h"

#include <QCryptographicHash>
#include <QFile>

void MainWindow::logBuildIdentity()
{
    const QString version = QString::fromLatin1(BuildInfo::Version);
    const QString resetCode = TAVRIN_RESET_CODE_IS_DEFAULT ? tr("the default") : tr("set for this build");
    // Hashed as embedded, so that the line names what an update would write.
    QFile image(engine.imagePath);
    QCryptographicHash sha256(QCryptographicHash::Sha256);
    if (image.open(QIODevice::ReadOnly) && sha256.addData(&image)) {
        engine.logProgress((engine.imageIsPlaceholder
                ? tr("Tavrin Update %1; placeholder image: %2 bytes, SHA-256 %3; reset code: %4")
                : tr("Tavrin Update %1; image: %2 bytes, SHA-256 %3; reset code: %4"))
                               .arg(version)
                               .arg(image.size())
                               .arg(QString::fromLatin1(sha256.result().toHex()), resetCode));
    } else {
        engine.logProgress(
            tr("Tavrin Update %1; the image cannot be opened; reset code: %2").arg(version, resetCode));
    }
    engine.warnOfPlaceholder();
}
