#ifndef KWN_BUILDERLAYOUT_H
#define KWN_BUILDERLAYOUT_H
// Placeholder until the page is written.
#include <QObject>
class QVBoxLayout;
class BuilderLayout : public QObject
{
    Q_OBJECT
public:
    explicit BuilderLayout(QObject *parent = nullptr);
    ~BuilderLayout() override;
    QVBoxLayout *getLayout();
private:
    QVBoxLayout *layoutMain;
};
#endif
