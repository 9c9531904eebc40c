#pragma once

#include <QObject>
#include <QString>

class QSoundEffect;

// A wave player driven by commands: "Open" loads the file, "play" starts it,
// "prev" rewinds it so the next play starts from the beginning, "close" ends
// it. A missing file, or a machine without sound, leaves the player silent.
class MMControl : public QObject {
    Q_OBJECT
public:
    explicit MMControl(const QString& name, QObject* parent = nullptr);
    ~MMControl() override;

    void setFileName(const QString& fileName) { m_fileName = fileName; }
    const QString& fileName() const { return m_fileName; }
    void command(const QString& cmd);
    bool isOpen() const { return m_open; }
    bool isAudible() const { return m_effect != nullptr; }
    int timesPlayed() const { return m_played; }

    // Plays and rewinds: what every command that "plays a sound" does.
    void playSound();

private:
    QString m_fileName;
    QSoundEffect* m_effect = nullptr;
    bool m_open = false;
    int m_played = 0;
};
