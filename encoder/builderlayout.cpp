#include "encoder/builderlayout.h"
#include <QVBoxLayout>
BuilderLayout::BuilderLayout(QObject *parent) : QObject(parent), layoutMain(new QVBoxLayout) {}
BuilderLayout::~BuilderLayout() = default;
QVBoxLayout *BuilderLayout::getLayout() { return layoutMain; }
