#include "testregistry.h"

#include <QApplication>

TA_TEST_MAIN
