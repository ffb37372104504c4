#include "widgets/lazyicon.h"

#include <QIconEngine>

namespace {

class LazyIconEngine : public QIconEngine
{
public:
    explicit LazyIconEngine(const QString &fileName) : fileName(fileName) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }

    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }

    QIconEngine *clone() const override { return new LazyIconEngine(fileName); }

    QString key() const override { return QStringLiteral("KwnLazyIconEngine"); }

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
#else
    void virtual_hook(int id, void *data) override
    {
        if (id == QIconEngine::AvailableSizesHook) {
            auto *arg = static_cast<QIconEngine::AvailableSizesArgument *>(data);
            arg->sizes = icon().availableSizes(arg->mode, arg->state);
            return;
        }
        QIconEngine::virtual_hook(id, data);
    }
#endif

private:
    const QIcon &icon()
    {
        if (!loaded) {
            loaded = true;
            file = QIcon(fileName);
        }
        return file;
    }

    QString fileName;
    bool loaded = false;
    QIcon file;
};

} // namespace

QIcon lazyIcon(const QString &fileName)
{
    return QIcon(new LazyIconEngine(fileName));
}
