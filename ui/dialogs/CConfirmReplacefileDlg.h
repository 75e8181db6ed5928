#pragma once
// Asks what to do with a download whose name is already taken in the destination folder.
// Cancel (Escape or "취소") rejects; "예", "모두 예" and "아니오" accept with the two result flags.
#include <QDialog>
#include <QList>
#include <QString>

class CTransparentLabel;
class QPushButton;

class CConfirmReplacefileDlg;

// Answers the replace question in the user's place; attached to a window by the window's creator.
class ReplacePresenter : public QObject {
    Q_OBJECT
public:
    explicit ReplacePresenter(QWidget* window) : QObject(window) {}
    // `question` as the dialog shows it; `severalFiles` 0 for a single-file batch.
    virtual int Present(const QString& question, int severalFiles) = 0; // a CConfirmReplacefileDlg::Answer
};

class CConfirmReplacefileDlg : public QDialog {
    Q_OBJECT
public:
    enum ControlId { IdQuestion = 1048, IdYes = 1055, IdYesToAll = 1041, IdNo = 1043, IdCancel = 2 };
    enum class Answer { Yes, YesToAll, No, Cancel };

    explicit CConfirmReplacefileDlg(QWidget* parent = nullptr);

    // Keeps only the name after the last separator, cut to 22 characters plus "..." when longer.
    void SetFileName(const QString& path);
    QString FileName() const { return m_fileName; }
    // 0 for a single-file batch: only "예" and "아니오", at the right edge.
    void SetSeveralFiles(int several) { m_severalFiles = several; }
    int SeveralFiles() const { return m_severalFiles; }

    int Skip() const { return m_skip; }
    int ReplaceAll() const { return m_replaceAll; }
    Answer answer() const { return m_answer; }

    // Lays the dialog out for the current flags and runs it, or asks the ReplacePresenter attached to
    // it or to a window it belongs to.
    int exec() override;
    // Lays out without running (for callers that show it themselves).
    void prepare();

    QPushButton* button(int id) const;
    CTransparentLabel* questionLabel() const { return m_question; }

    static QString ShortName(const QString& path);

private:
    void finish(Answer answer);

    QString m_fileName;
    int m_severalFiles = 1;
    CTransparentLabel* m_question = nullptr;
    QPushButton* m_yes = nullptr;
    QPushButton* m_yesToAll = nullptr;
    QPushButton* m_no = nullptr;
    QPushButton* m_cancel = nullptr;
    int m_skip = 0;
    int m_replaceAll = 0;
    Answer m_answer = Answer::Cancel;
    bool m_prepared = false;
};
