#pragma once

#include <QBasicTimer>
#include <QObject>

class ClientArea;

// The user-sizing bracket: the client area stays blank and nothing is laid
// out or painted while it is open. A grip drag closes it at the release, a
// burst of resizes from the window manager once resizes stop coming.
class SizingBracket : public QObject {
public:
    enum class Kind { None, Grip, Border };
    static constexpr int kSettleMs = 250;

    explicit SizingBracket(ClientArea* area) : area_(area) {}

    void open(Kind kind);
    void close();
    // The client area has a new size, or has been shown: lays it out at once
    // the first time, then opens the bracket or keeps a burst's one open.
    void sizeNotification();

protected:
    void timerEvent(QTimerEvent*) override;

private:
    ClientArea* area_;
    Kind kind_ = Kind::None;
    QBasicTimer settle_;
};
