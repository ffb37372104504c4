#include "decoder/debuilderlayout.h"
#include <QVBoxLayout>
DebuilderLayout::DebuilderLayout(QObject *parent) : QObject(parent), layoutMain(new QVBoxLayout) {}
DebuilderLayout::~DebuilderLayout() = default;
QVBoxLayout *DebuilderLayout::getLayout() { return layoutMain; }
