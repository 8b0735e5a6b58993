#include "SkipTaskbar.h"

void SkipTaskbar(QWidget&)
{
}
