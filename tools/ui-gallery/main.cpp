// ui-gallery OUTDIR: renders every control, the waiting box and each dialog template to PNG files.
#include "res/DialogFont.h"
#include "tools/ui-gallery/GalleryPages.h"
#include "ui/KoreanTranslations.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui-gallery OUTDIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    RegisterFontSubstitutions();
    InstallKoreanTranslations();
    FillSampleFiles();

    int failures = 0;
    for (const GalleryPage& page : GalleryPages()) {
        std::unique_ptr<QWidget> widget(page.make());
        if (!widget) {
            std::fprintf(stderr, "%s: nothing built\n", qPrintable(page.name));
            ++failures;
            continue;
        }
        widget->setAttribute(Qt::WA_DontShowOnScreen);
        widget->show();
        widget->adjustSize();
        QApplication::processEvents();
        const QPixmap shot = widget->grab();
        const QString path = dir.filePath(page.name + QStringLiteral(".png"));
        if (shot.isNull() || shot.width() < 8 || shot.height() < 8 || !shot.save(path, "PNG")) {
            std::fprintf(stderr, "%s: cannot render or save\n", qPrintable(page.name));
            ++failures;
            continue;
        }
        std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
    }
    return failures == 0 ? 0 : 1;
}
