#include "encoder/qcheckboxoptional.h"

QCheckBoxOptional::QCheckBoxOptional(QWidget *parent) : QCheckBox(parent) {}

QCheckBoxOptional::~QCheckBoxOptional() = default;
