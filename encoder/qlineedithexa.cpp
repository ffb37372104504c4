#include "encoder/qlineedithexa.h"

QLineEditHexa::QLineEditHexa(QWidget *parent) : QLineEdit(parent) {}

QLineEditHexa::~QLineEditHexa() = default;
