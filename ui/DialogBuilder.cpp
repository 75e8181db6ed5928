#include "ui/DialogBuilder.h"

#include "res/DialogFont.h"
#include "res/DialogUnits.h"
#include "res/Skin.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CImageButtonEx.h"
#include "ui/controls/CThemeListCtrl.h"
#include "ui/controls/CTransparentLabel.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

BuiltDialog DialogBuilder::Build(QWidget* host, const DialogTemplate& dialog, bool resize) {
    return Build(host, dialog, DialogUnits::ForDialogFont(), resize);
}

BuiltDialog DialogBuilder::Build(QWidget* host, const DialogTemplate& dialog, const DialogUnits& units,
                                 bool resize) {
    BuiltDialog built;
    host->setFont(DialogFont());
    if (resize)
        host->setFixedSize(units.size(dialog.size));
    if (!dialog.title.isEmpty())
        host->setWindowTitle(dialog.title);
    for (const ControlTemplate& control : dialog.controls) {
        QWidget* widget = CreateControl(host, control, units);
        built.all.push_back(widget);
        if (control.id != -1)
            built.byId.insert(control.id, widget);
    }
    return built;
}

QWidget* DialogBuilder::CreateControl(QWidget* host, const ControlTemplate& control, const DialogUnits& units) {
    const QRect rect = units.rect(control.rect);
    const Qt::Alignment horizontal = (control.flags & ControlFlag::AlignRight) ? Qt::AlignRight : Qt::AlignLeft;
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::Label:
        if (control.flags & ControlFlag::TransparentLabel) {
            auto* label = new CTransparentLabel(control.text, host);
            label->setAlignment(horizontal | Qt::AlignVCenter);
            widget = label;
        } else {
            auto* label = new QLabel(control.text, host);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(horizontal | Qt::AlignVCenter);
            widget = label;
        }
        break;
    case ControlKind::Button:
    case ControlKind::DefaultButton:
        if (control.flags & ControlFlag::ImageButtonEx) {
            auto* button = new CImageButtonEx(host);
            button->move(rect.topLeft());
            button->LoadBitmaps(control.resourceId, control.resourceId2);
            button->setAccessibleName(control.text);
            widget = button;
        } else if (control.flags & ControlFlag::ImageButton) {
            auto* button = new CImageButton(host);
            button->move(rect.topLeft());
            button->LoadBitmap(control.resourceId, true);
            button->setAccessibleName(control.text);
            widget = button;
        } else {
            auto* button = new QPushButton(control.text, host);
            button->setDefault(control.kind == ControlKind::DefaultButton);
            button->setAutoDefault(control.kind == ControlKind::DefaultButton);
            widget = button;
        }
        break;
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(control.text, host);
        widget = edit;
        break;
    }
    case ControlKind::CheckBox:
        widget = new QCheckBox(control.text, host);
        break;
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(host);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        widget = bar;
        break;
    }
    case ControlKind::EtchedLine: {
        auto* line = new QFrame(host);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        widget = line;
        break;
    }
    case ControlKind::Icon: {
        auto* icon = new QLabel(host);
        QPixmap pixmap = Skin::LoadPixmap(control.resourceId);
        if (!pixmap.isNull())
            pixmap.setMask(Skin::OpaqueMask(pixmap.toImage()));
        icon->setPixmap(pixmap);
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = icon;
        break;
    }
    case ControlKind::ListView:
        widget = new CThemeListCtrl(host);
        break;
    }
    widget->setObjectName(QStringLiteral("control%1").arg(control.id));
    const bool imageButton = control.flags & (ControlFlag::ImageButton | ControlFlag::ImageButtonEx);
    if (!imageButton)
        widget->setGeometry(
            control.kind == ControlKind::EtchedLine ? QRect(rect.left(), rect.top(), rect.width(), 2) : rect);
    if (control.flags & ControlFlag::Hidden)
        widget->hide();
    return widget;
}
