#ifndef KWN_CHARTS_CHARTSQT_H
#define KWN_CHARTS_CHARTSQT_H

// Qt Charts 5 keeps its classes in a namespace of their own; Qt 6 in Qt's.
// KWN_CHARTS_BEGIN and KWN_CHARTS_END wrap forward declarations of them,
// KWN_CHARTS_USE makes them usable by their plain names, KWN_CHARTS_QUALIFIED
// names one in a header.

#include <QtCharts/qchartglobal.h>

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#define KWN_CHARTS_BEGIN QT_CHARTS_BEGIN_NAMESPACE
#define KWN_CHARTS_END QT_CHARTS_END_NAMESPACE
#define KWN_CHARTS_USE QT_CHARTS_USE_NAMESPACE
#define KWN_CHARTS_QUALIFIED(name) QT_CHARTS_NAMESPACE::name
#else
#define KWN_CHARTS_BEGIN QT_BEGIN_NAMESPACE
#define KWN_CHARTS_END QT_END_NAMESPACE
#define KWN_CHARTS_USE
#define KWN_CHARTS_QUALIFIED(name) name
#endif

#endif
