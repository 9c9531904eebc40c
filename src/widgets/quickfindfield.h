#pragma once

#include <QLineEdit>

class QTimer;

// The find-as-you-type field: says when the typing pauses (150 ms after the
// last key) and when Esc is pressed in it; Ctrl+F anywhere in its window
// brings the typing to it.
class QuickFindField : public QLineEdit {
    Q_OBJECT
public:
    QuickFindField(const QString& name, const QString& placeholder, QWidget* window,
                   QWidget* parent);
    // Empties the field without anything running.
    void clearQuietly();

Q_SIGNALS:
    void typingPaused();
    void escaped();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTimer* m_pause;
};
