// Draws every skin bitmap and icon into OUTDIR and writes the resource list quorvane_skin.qrc next to them.
// With --app-icons it draws only the application icon, at the given sizes, for the desktop's icon theme.
// Shapes are drawn antialiased on a transparent canvas, then flattened onto RGB(255, 0, 255): a pixel is
// either opaque skin or the transparent key, so regions cut from the bitmaps have clean edges.
#include "res/DialogFont.h"
#include "res/DialogTemplates.h"
#include "res/DialogUnits.h"
#include "res/SkinIds.h"
#include "res/Strings.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace {

const QColor kBandTop(0x3f, 0x8e, 0xe0);
const QColor kBandBottom(0x1f, 0x63, 0xb8);
const QColor kBody(0xf3, 0xf7, 0xfc);
const QColor kEdge(0x17, 0x4f, 0x96);

// Device pixels per drawing unit: every bitmap is drawn once at 1 and once at 2 for HiDPI screens.
int g_scale = 1;

QImage Canvas(int w, int h) {
    QImage image(w * g_scale, h * g_scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(g_scale);
    image.fill(Qt::transparent);
    return image;
}

// Every pixel with coverage below one half becomes the key colour; the rest become opaque.
QImage Flatten(const QImage& art) {
    QImage out(art.size(), QImage::Format_RGB32);
    out.setDevicePixelRatio(art.devicePixelRatio());
    const QImage src = art.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            QRgb c = a < 128 ? qRgb(255, 0, 255) : qRgb(qRed(in[x]), qGreen(in[x]), qBlue(in[x]));
            if (c == qRgb(255, 0, 255) && a >= 128)
                c = qRgb(254, 0, 255); // never the key by accident
            o[x] = c;
        }
    }
    return out;
}

QFont Font(int pixels, bool bold) {
    QFont font = DialogFont();
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

void DrawCloud(QPainter& p, const QRectF& r, const QColor& fill) {
    QPainterPath cloud;
    cloud.setFillRule(Qt::WindingFill); // overlapping lobes are one shape, not holes
    const qreal w = r.width(), h = r.height();
    cloud.addEllipse(QRectF(r.left() + w * 0.05, r.top() + h * 0.42, w * 0.36, h * 0.50));
    cloud.addEllipse(QRectF(r.left() + w * 0.22, r.top() + h * 0.12, w * 0.46, h * 0.66));
    cloud.addEllipse(QRectF(r.left() + w * 0.52, r.top() + h * 0.34, w * 0.42, h * 0.58));
    cloud.addRoundedRect(QRectF(r.left() + w * 0.22, r.top() + h * 0.58, w * 0.55, h * 0.34), h * 0.1, h * 0.1);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawPath(cloud.simplified());
}

void DrawUpArrow(QPainter& p, const QRectF& r, const QColor& c) {
    QPainterPath arrow;
    const qreal cx = r.center().x();
    arrow.moveTo(cx, r.top());
    arrow.lineTo(r.right(), r.top() + r.height() * 0.5);
    arrow.lineTo(cx + r.width() * 0.18, r.top() + r.height() * 0.5);
    arrow.lineTo(cx + r.width() * 0.18, r.bottom());
    arrow.lineTo(cx - r.width() * 0.18, r.bottom());
    arrow.lineTo(cx - r.width() * 0.18, r.top() + r.height() * 0.5);
    arrow.lineTo(r.left(), r.top() + r.height() * 0.5);
    arrow.closeSubpath();
    p.setBrush(c);
    p.drawPath(arrow);
}

QImage AppIcon(int size) {
    QImage art = Canvas(size, size);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QLinearGradient g(0, 0, 0, s);
    g.setColorAt(0, kBandTop);
    g.setColorAt(1, kBandBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94), s * 0.2, s * 0.2);
    DrawCloud(p, QRectF(s * 0.12, s * 0.18, s * 0.76, s * 0.6), QColor(255, 255, 255));
    DrawUpArrow(p, QRectF(s * 0.38, s * 0.38, s * 0.24, s * 0.34), kBandBottom);
    p.end();
    return art;
}

QImage QuestionIcon(int size) {
    QImage art = Canvas(size, size);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QRadialGradient g(s * 0.35, s * 0.3, s * 0.8);
    g.setColorAt(0, QColor(0xff, 0xd2, 0x4a));
    g.setColorAt(1, QColor(0xe8, 0x9a, 0x0c));
    p.setPen(QPen(QColor(0xb3, 0x6d, 0x00), 1.2));
    p.setBrush(g);
    p.drawEllipse(QRectF(1, 1, s - 2, s - 2));
    p.setPen(Qt::white);
    QFont f = Font(int(s * 0.72), true);
    f.setFamily(QStringLiteral("DejaVu Sans"));
    p.setFont(f);
    p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
    p.end();
    return Flatten(art);
}

QImage FileIcon() {
    QImage art = Canvas(16, 16);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(QColor(0x6f, 0x7f, 0x93), 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(10, 1.5), QPointF(10, 5));
    p.drawLine(QPointF(10, 5), QPointF(13.5, 5));
    p.setPen(QPen(QColor(0x9e, 0xb6, 0xd4), 1));
    for (qreal y : {7.5, 9.5, 11.5})
        p.drawLine(QPointF(5.5, y), QPointF(11.5, y));
    p.end();
    return art;
}

// Three state images side by side: normal, hover, pressed.
QImage StateStrip(int w, int h, const std::function<void(QPainter&, QRectF, int)>& draw) {
    QImage art = Canvas(3 * w, h);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int state = 0; state < 3; ++state) {
        p.save();
        p.setClipRect(QRect(state * w, 0, w, h));
        draw(p, QRectF(state * w, 0, w, h), state);
        p.restore();
    }
    p.end();
    return Flatten(art);
}

QImage CaptionButton(QSize size, const QString& caption) {
    return StateStrip(size.width(), size.height(), [&](QPainter& p, QRectF r, int state) {
        const QRectF body = r.adjusted(0.5, 0.5, -0.5, -0.5);
        QLinearGradient g(0, 0, 0, r.height());
        if (state == 0) {
            g.setColorAt(0, QColor(0x5a, 0xa2, 0xea));
            g.setColorAt(1, QColor(0x2a, 0x6f, 0xc4));
        } else if (state == 1) {
            g.setColorAt(0, QColor(0x82, 0xbd, 0xf5));
            g.setColorAt(1, QColor(0x3d, 0x86, 0xdb));
        } else {
            g.setColorAt(0, QColor(0x1c, 0x56, 0xa0));
            g.setColorAt(1, QColor(0x2b, 0x6c, 0xbd));
        }
        p.setPen(QPen(QColor(0x16, 0x4a, 0x8c), 1));
        p.setBrush(g);
        p.drawRoundedRect(body, 4, 4);
        p.setPen(Qt::white);
        p.setFont(Font(12, true));
        const QRectF text = state == 2 ? r.translated(0.5, 1) : r;
        p.drawText(text, Qt::AlignCenter, caption);
    });
}

void DrawRoundButtonBase(QPainter& p, QRectF r, int state, bool lit) {
    const QRectF c = r.adjusted(1, 1, -1, -1);
    QColor fill = lit ? QColor(0xff, 0xc4, 0x3d) : QColor(255, 255, 255, 0);
    if (state == 1)
        fill = lit ? QColor(0xff, 0xd6, 0x70) : QColor(0x7f, 0xb6, 0xf0);
    if (state == 2)
        fill = lit ? QColor(0xe0, 0xa0, 0x20) : QColor(0x14, 0x4b, 0x91);
    QColor band = kBandTop;
    band.setAlpha(255);
    // The button's own background matches the title band under it, so the whole image is opaque.
    QLinearGradient g(0, -6, 0, 34);
    g.setColorAt(0, kBandTop);
    g.setColorAt(1, kBandBottom);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(c);
    if (fill.alpha() > 0) {
        p.setBrush(fill);
        p.drawEllipse(c);
    }
    p.setPen(QPen(QColor(255, 255, 255, state == 0 ? 150 : 230), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c.adjusted(0.5, 0.5, -0.5, -0.5));
}

QImage TitleButton(QSize size, int glyph, bool lit) {
    return StateStrip(size.width(), size.height(), [&](QPainter& p, QRectF r, int state) {
        const qreal side = qMin(r.width(), r.height());
        const QRectF sq(r.left() + (r.width() - side) / 2, r.top() + (r.height() - side) / 2, side, side);
        DrawRoundButtonBase(p, sq, state, lit);
        const QColor ink = lit ? QColor(0x6b, 0x3b, 0x00) : Qt::white;
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(ink);
        const QPointF m = sq.center() + (state == 2 ? QPointF(0.5, 0.5) : QPointF());
        const qreal k = side * 0.2;
        if (glyph == 'x') {
            p.drawLine(m + QPointF(-k, -k), m + QPointF(k, k));
            p.drawLine(m + QPointF(-k, k), m + QPointF(k, -k));
        } else if (glyph == '_') {
            p.drawLine(m + QPointF(-k, k * 0.9), m + QPointF(k, k * 0.9));
        } else { // pin
            p.setPen(Qt::NoPen);
            p.drawEllipse(QRectF(m.x() - k * 0.85, m.y() - k * 1.35, k * 1.7, k * 1.5));
            p.drawRect(QRectF(m.x() - k * 1.15, m.y() - k * 0.05, k * 2.3, k * 0.45));
            p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(m + QPointF(0, k * 0.4), m + QPointF(0, k * 1.4));
        }
    });
}

QImage MainBackground(const DialogUnits& du) {
    const int w = 276, h = 290;
    QImage art = Canvas(w, h);
    QPainter p(&art);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QRectF outer(0.5, 0.5, w - 1, h - 1);
    QPainterPath shape;
    shape.addRoundedRect(outer, 12, 12);

    p.setPen(Qt::NoPen);
    p.setBrush(kBody);
    p.drawPath(shape);

    // Title band.
    const qreal band = 40;
    QPainterPath top;
    top.addRect(QRectF(0, 0, w, band));
    QLinearGradient g(0, 0, 0, band);
    g.setColorAt(0, kBandTop);
    g.setColorAt(1, kBandBottom);
    p.setBrush(g);
    p.drawPath(shape.intersected(top));
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawLine(QPointF(12, 1.5), QPointF(w - 12, 1.5));

    DrawCloud(p, QRectF(12, 9, 26, 20), Qt::white);
    p.setPen(QPen(kBandBottom, 0));
    DrawUpArrow(p, QRectF(22, 15, 8, 11), kBandBottom);
    p.setPen(Qt::white);
    p.setFont(Font(16, true));
    p.drawText(QRectF(44, 6, 140, 26), Qt::AlignLeft | Qt::AlignVCenter, Strings::AppCaption);

    // Quota panel: labels at dialog-unit y 33..65, a cloud badge on the left.
    const QRect quota = du.rect(QRect(6, 29, 146, 38));
    QPainterPath panel;
    panel.addRoundedRect(QRectF(quota).adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    p.setPen(QPen(QColor(0xc5, 0xd6, 0xec), 1));
    p.setBrush(Qt::white);
    p.drawPath(panel);
    const int badge = quota.height() - 14;
    p.drawImage(QPointF(quota.left() + 14, quota.top() + 7), AppIcon(badge));

    // The file list window sits centred and 44 px down; frame it.
    const QSize list = du.size(DialogTemplates::Get(DialogTemplates::FileList).size);
    const QRectF listRect((w - list.width()) / 2.0, (h - list.height()) / 2.0 + 44, list.width(), list.height());
    QPainterPath well;
    well.addRoundedRect(listRect.adjusted(-3.5, -3.5, 3.5, 1.5), 7, 7);
    p.setPen(QPen(QColor(0xc5, 0xd6, 0xec), 1));
    p.setBrush(QColor(0xe6, 0xef, 0xfa));
    p.drawPath(well);

    p.setPen(QPen(kEdge, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(shape);
    p.end();
    return Flatten(art);
}

// The 2x drawing keeps exactly the 1x shape (each 1x pixel's two-by-two block is all key or all skin),
// so regions and masks cut from the 1x bitmap match the 2x art: no key colour inside, no gap at the edge.
QImage MatchShape(const QImage& hi, const QImage& lo) {
    QImage out = hi.convertToFormat(QImage::Format_RGB32);
    const QRgb key = qRgb(255, 0, 255);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb base = lo.pixel(x / 2, y / 2) | 0xff000000;
            QRgb& p = reinterpret_cast<QRgb*>(out.scanLine(y))[x];
            if (base == key)
                p = key;
            else if ((p | 0xff000000) == key)
                p = base; // an edge pixel the finer drawing left uncovered takes the 1x colour
        }
    }
    out.setDevicePixelRatio(2);
    return out;
}

bool Save(const QImage& image, const QDir& dir, const QString& name, QStringList& files) {
    if (!image.save(dir.filePath(name), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(dir.filePath(name)));
        return false;
    }
    files << name;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool iconsOnly = argc >= 4 && qstrcmp(argv[1], "--app-icons") == 0;
    if (argc != 2 && !iconsOnly) {
        std::fprintf(stderr, "usage: skin-art-generator OUTDIR\n"
                             "       skin-art-generator --app-icons OUTDIR SIZE...\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[iconsOnly ? 2 : 1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    if (iconsOnly) {
        // The desktop's icon theme gets the same art as the window icon, with its alpha kept.
        QStringList icons;
        bool ok = true;
        for (int i = 3; ok && i < argc; ++i) {
            const int size = QByteArray(argv[i]).toInt(&ok);
            ok = ok && size > 0 && size <= 1024 &&
                 Save(AppIcon(size), dir, QStringLiteral("app-icon-%1.png").arg(size), icons);
        }
        return ok ? 0 : 1;
    }
    const DialogUnits& du = DialogUnits::ForDialogFont();
    const auto& main = DialogTemplates::Get(DialogTemplates::MainWindow);
    const auto& list = DialogTemplates::Get(DialogTemplates::FileList);
    const QSize titleButton = du.size(main.control(1036)->rect.size());
    const QSize iconSize =
        du.size(DialogTemplates::Get(DialogTemplates::ConfirmReplace).controls.front().rect.size());

    // The skin drawn at the current scale, by file id.
    const auto skin = [&] {
        std::vector<std::pair<int, QImage>> art;
        art.emplace_back(SkinIds::MainBackground, MainBackground(du));
        art.emplace_back(134, TitleButton(titleButton, 'x', false));
        art.emplace_back(139, TitleButton(titleButton, '_', false));
        art.emplace_back(158, TitleButton(titleButton, 'p', false));
        art.emplace_back(159, TitleButton(titleButton, 'p', true));
        const std::pair<int, int> captions[] = {
            {1031, SkinIds::UploadButton}, {1030, SkinIds::DownloadButton}, {1029, SkinIds::DeleteButton}};
        for (const auto& [control, id] : captions) {
            const ControlTemplate* c = list.control(control);
            art.emplace_back(id, CaptionButton(du.size(c->rect.size()), c->text));
        }
        art.emplace_back(177, QuestionIcon(qMin(iconSize.width(), iconSize.height())));
        return art;
    };

    QStringList files;
    bool ok = true;
    g_scale = 1;
    const auto normal = skin();
    for (const auto& [id, image] : normal)
        ok = ok && Save(image, dir, QStringLiteral("%1.png").arg(id), files);
    g_scale = 2;
    const auto doubled = skin();
    for (size_t i = 0; i < doubled.size(); ++i)
        ok = ok && Save(MatchShape(doubled[i].second, normal[i].second), dir,
                        QStringLiteral("%1@2x.png").arg(doubled[i].first), files);
    g_scale = 1;
    for (int size : {16, 32, 48, 256})
        ok = ok && Save(AppIcon(size), dir, QStringLiteral("128-%1.png").arg(size), files);
    ok = ok && Save(AppIcon(32), dir, QStringLiteral("128.png"), files);
    ok = ok && Save(FileIcon(), dir, QStringLiteral("file-16.png"), files);
    if (!ok)
        return 1;

    QFile qrc(dir.filePath(QStringLiteral("quorvane_skin.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QByteArray text = "<RCC>\n  <qresource prefix=\"/skin\">\n";
    for (const QString& f : files)
        text += "    <file>" + f.toUtf8() + "</file>\n";
    text += "  </qresource>\n</RCC>\n";
    return qrc.write(text) == text.size() ? 0 : 1;
}
