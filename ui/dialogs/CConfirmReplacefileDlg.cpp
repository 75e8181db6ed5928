#include "ui/dialogs/CConfirmReplacefileDlg.h"

#include "res/DialogTemplates.h"
#include "res/Strings.h"
#include "ui/Attached.h"
#include "ui/DialogBuilder.h"
#include "ui/controls/CTransparentLabel.h"

#include <QPushButton>

namespace {
constexpr int kShownNameLength = 22;
} // namespace

CConfirmReplacefileDlg::CConfirmReplacefileDlg(QWidget* parent) : QDialog(parent) {
    const DialogTemplate& tpl = DialogTemplates::Get(DialogTemplates::ConfirmReplace);
    const BuiltDialog built = DialogBuilder::Build(this, tpl);
    if (tpl.flags & DialogFlag::TopMost)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    m_question = built.get<CTransparentLabel>(IdQuestion);
    m_yes = built.get<QPushButton>(IdYes);
    m_yesToAll = built.get<QPushButton>(IdYesToAll);
    m_no = built.get<QPushButton>(IdNo);
    m_cancel = built.get<QPushButton>(IdCancel);

    connect(m_yes, &QPushButton::clicked, this, [this] { finish(Answer::Yes); });
    connect(m_yesToAll, &QPushButton::clicked, this, [this] { finish(Answer::YesToAll); });
    connect(m_no, &QPushButton::clicked, this, [this] { finish(Answer::No); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { finish(Answer::Cancel); });
    // Escape reaches reject(): the same as "취소".
    connect(this, &QDialog::rejected, this, [this] {
        m_answer = Answer::Cancel;
        m_skip = 0;
        m_replaceAll = 0;
    });
}

QString CConfirmReplacefileDlg::ShortName(const QString& path) {
    QString name = path.mid(path.lastIndexOf(u'/') + 1);
    if (name.size() >= kShownNameLength)
        name = name.left(kShownNameLength) + QStringLiteral("...");
    return name;
}

void CConfirmReplacefileDlg::SetFileName(const QString& path) {
    m_fileName = ShortName(path);
}

QPushButton* CConfirmReplacefileDlg::button(int id) const {
    switch (id) {
    case IdYes:
        return m_yes;
    case IdYesToAll:
        return m_yesToAll;
    case IdNo:
        return m_no;
    case IdCancel:
        return m_cancel;
    default:
        return nullptr;
    }
}

void CConfirmReplacefileDlg::prepare() {
    if (!m_prepared && m_severalFiles == 0) {
        const QPoint noPlace = m_no->pos();
        const QPoint cancelPlace = m_cancel->pos();
        m_yesToAll->hide();
        m_cancel->hide();
        m_yes->move(noPlace);
        m_no->move(cancelPlace);
    }
    m_prepared = true;
    m_question->SetText(QString(Strings::ReplaceQuestionFormat).replace(QStringLiteral("%s"), m_fileName));
    m_skip = 0;
    m_replaceAll = 0;
    m_answer = Answer::Cancel;
    m_yes->setFocus();
}

void CConfirmReplacefileDlg::finish(Answer answer) {
    if (answer == Answer::Cancel) {
        reject();
        return;
    }
    m_answer = answer;
    m_skip = answer == Answer::No ? 1 : 0;
    m_replaceAll = answer == Answer::YesToAll ? 1 : 0;
    accept();
}

int CConfirmReplacefileDlg::exec() {
    prepare();
    if (auto* presenter = FindAttached<ReplacePresenter>(this)) {
        const Answer answer = Answer(presenter->Present(m_question->text(), m_severalFiles));
        finish(answer);
        return answer == Answer::Cancel ? QDialog::Rejected : QDialog::Accepted;
    }
    return QDialog::exec();
}
