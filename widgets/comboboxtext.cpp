#include "widgets/comboboxtext.h"

#include <QComboBox>

namespace {

// A child of the box; goes with it.
class IndexTextRelay : public QObject
{
    Q_OBJECT

public:
    explicit IndexTextRelay(QComboBox *box) : QObject(box)
    {
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, box](int index) { emit currentIndexText(box->itemText(index)); });
    }

signals:
    void currentIndexText(const QString &text);
};

} // namespace

void connectCurrentIndexText(QComboBox *box, const QObject *receiver, const char *slot)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QObject::connect(box, SIGNAL(currentIndexChanged(const QString &)), receiver, slot);
#else
    auto *relay = box->findChild<IndexTextRelay *>(QString(), Qt::FindDirectChildrenOnly);
    if (!relay)
        relay = new IndexTextRelay(box);
    QObject::connect(relay, SIGNAL(currentIndexText(const QString &)), receiver, slot);
#endif
}

#include "comboboxtext.moc"
