#pragma once
// The waiting box: a borderless, semi-transparent white box with a one-line (or two-line) text.
// It never takes focus or input; its owner shows and hides it.
#include <QString>
#include <QWidget>

class CTransparentLabel;

class CModalessMessageBox : public QWidget {
    Q_OBJECT
public:
    static constexpr int kOpacity = 220; // of 255

    explicit CModalessMessageBox(QWidget* owner = nullptr);

    void SetMessageText(const QString& text); // shown at once when the box exists
    QString MessageText() const { return m_text; }
    CTransparentLabel* Label() const { return m_label; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RebuildShape();

    CTransparentLabel* m_label = nullptr;
    QString m_text;
};
