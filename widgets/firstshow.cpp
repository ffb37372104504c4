#include "widgets/firstshow.h"

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace {

class FirstShowFilter : public QObject
{
public:
    FirstShowFilter(QWidget *widget, std::function<void()> call)
        : QObject(widget), m_call(std::move(call))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            watched->removeEventFilter(this);
            deleteLater();
            const std::function<void()> call = std::move(m_call);
            call();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_call;
};

} // namespace

void callOnFirstShow(QWidget *widget, std::function<void()> call)
{
    if (widget->isVisible()) {
        call();
        return;
    }
    new FirstShowFilter(widget, std::move(call));
}
