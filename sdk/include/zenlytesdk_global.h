#pragma once

#include <QtCore/qglobal.h>

#if defined(ZENLYTESDK_LIBRARY)
#  define ZENLYTESDK_EXPORT Q_DECL_EXPORT
#else
#  define ZENLYTESDK_EXPORT Q_DECL_IMPORT
#endif
