#include "talogging.h"

Q_LOGGING_CATEGORY(lcHistory, "ta.history", QtWarningMsg)
Q_LOGGING_CATEGORY(lcCache, "ta.cache", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDataManager, "ta.datamanager", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlugin, "ta.plugin", QtWarningMsg)
Q_LOGGING_CATEGORY(lcChart, "ta.chart", QtWarningMsg)
Q_LOGGING_CATEGORY(lcScripts, "ta.scripts", QtWarningMsg)
