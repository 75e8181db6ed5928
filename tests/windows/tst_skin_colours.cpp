// Every skinned window under a dark desktop palette: each text keeps a contrast of at least 4.5:1
// against what is drawn behind it, measured on the rendered pixels.
#include "app/SessionStore.h"
#include "app/platform/PrivateEvents.h"
#include "res/Strings.h"
#include "tests/ui/ScriptedMessages.h"
#include "ui/controls/CModalessMessageBox.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/CTransparentLabel.h"
#include "ui/dialogs/CTransmissionDlg.h"
#include "ui/windows/CQuorvaneDlg.h"

#include <QApplication>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QStyleFactory>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

double Luminance(QRgb c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Glyphs are drawn without anti-aliasing, so each of their pixels carries the text's own colour: thin
// Hangul strokes at dialog size otherwise never reach it, whichever font the machine picks.
void DrawTextAliased(QWidget* window) {
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (QWidget* w : widgets) {
        QFont font = w->font();
        font.setStyleStrategy(QFont::NoAntialias);
        w->setFont(font);
    }
}

// The background is the most frequent colour of the area; the text is the colour, among those drawn
// on at least a few pixels, that stands out most from it (anti-aliased edges lie in between).
double TextContrast(const QImage& area) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            ++counts[area.pixel(x, y) | 0xff000000];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    }
    double best = 1.0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() >= 3)
            best = std::max(best, Contrast(it.key(), background));
    }
    return best;
}

QPalette DarkPalette() {
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2b), base(0x1e, 0x1e, 0x1e), text(0xf0, 0xf0, 0xf0);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}

} // namespace

class SkinColoursTest : public QObject {
    Q_OBJECT
    SessionStore m_store{SessionStore::Settings::None};
    MessageScript m_messages;

    void checkLabels(QWidget* window, const QString& what) {
        const QImage shot = window->grab().toImage();
        const qreal dpr = shot.devicePixelRatio();
        const QList<QLabel*> labels = window->findChildren<QLabel*>();
        int checked = 0;
        for (QLabel* label : labels) {
            if (!label->isVisible() || label->text().trimmed().isEmpty())
                continue;
            const QRect r(label->mapTo(window, QPoint(0, 0)) * dpr, label->size() * dpr);
            const double contrast = TextContrast(shot.copy(r));
            QVERIFY2(contrast >= 4.5,
                     qPrintable(u"%1: \"%2\" %3:1"_s.arg(what, label->text()).arg(contrast, 0, 'f', 2)));
            ++checked;
        }
        QVERIFY2(checked > 0, qPrintable(what));
    }

private Q_SLOTS:
    void initTestCase() {
        // A service that refuses at once: the window's start-up check fails quietly into the script.
        qputenv("CLOFFA_SERVICE_URL", "https://127.0.0.1:1");
        QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
        QApplication::setPalette(DarkPalette());
        m_store.SetQuota(2147483647, 1073741824);
    }

    void mainWindowAndList() {
        CQuorvaneDlg window(m_store, QPoint(30, 40));
        new ScriptedMessages(&window, m_messages);
        window.show();
        PostPrivate(&window, QuotaChange{});
        QCoreApplication::processEvents();
        m_store.AppendFile({0, 1, u"보고서.txt"_s, 123456, u"26-12-09"_s});
        m_store.AppendFile({0, 2, u"photo.jpg"_s, 2000000, u"26-12-08"_s});
        window.FileList()->List()->RefreshRows();
        DrawTextAliased(&window);
        QCoreApplication::processEvents();
        checkLabels(&window, u"main window"_s);

        CThemeListCtrl* list = window.FileList()->List();
        const QImage rows = list->viewport()->grab().toImage();
        const qreal dpr = rows.devicePixelRatio();
        for (int row = 0; row < 2; ++row) {
            for (int column = 0; column < 3; ++column) {
                const QRect cell = list->visualRect(list->model()->index(row, column));
                const double contrast = TextContrast(rows.copy(QRect(cell.topLeft() * dpr, cell.size() * dpr)));
                QVERIFY2(contrast >= 4.5,
                         qPrintable(u"list cell %1,%2: %3:1"_s.arg(row).arg(column).arg(contrast)));
            }
        }
        QHeaderView* header = list->header();
        const QImage head = header->grab().toImage();
        for (int column = 0; column < 3; ++column) {
            const QRect section(header->sectionViewportPosition(column) * dpr, 0,
                                header->sectionSize(column) * dpr, head.height());
            const double contrast = TextContrast(head.copy(section));
            QVERIFY2(contrast >= 4.5, qPrintable(u"header %1: %2:1"_s.arg(column).arg(contrast)));
        }
        // The header beyond its last section is the skin's too, not a dark block beside light sections.
        const int end = header->sectionViewportPosition(2) + header->sectionSize(2);
        QVERIFY2(end + 4 < header->width(), "the header leaves room after its last section");
        const QColor beyond = head.pixelColor(int((end + 4) * dpr), head.height() / 2);
        QVERIFY2(beyond.lightness() > 200, qPrintable(u"header beyond the sections: %1"_s.arg(beyond.name())));
    }

    void waitingBox() {
        CModalessMessageBox box;
        box.SetMessageText(Strings::WaitFileList);
        box.show();
        DrawTextAliased(&box);
        checkLabels(&box, u"waiting box"_s);
    }

    void transferDialog() {
        QWidget owner;
        CTransmissionDlg dialog(m_store, TransferSettings{}, CTransmissionDlg::Download, &owner);
        new ScriptedMessages(&owner, m_messages);
        const std::pair<int, QString> texts[] = {{CTransmissionDlg::IdCurrentFile, u"보고서 최종본.txt"_s},
                                                 {CTransmissionDlg::IdCount, u"(1/3)"_s},
                                                 {CTransmissionDlg::IdBytes, u"120 Kbyte / 5,000 Kbyte"_s}};
        for (const auto& [id, text] : texts) {
            if (auto* label = qobject_cast<CTransparentLabel*>(dialog.control(id)))
                label->SetText(text);
        }
        dialog.show();
        DrawTextAliased(&dialog);
        checkLabels(&dialog, u"transfer dialog"_s);
    }
};

QTEST_MAIN(SkinColoursTest)
#include "tst_skin_colours.moc"
