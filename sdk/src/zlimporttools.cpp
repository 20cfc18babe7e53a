#include "zlimporttools.h"
#include "zlinterfacebasics_p.h"

ZL_DEFINE_INTERFACE_BASICS(ZLImportTools, ImportToolsPrivate, ImportToolsPlugin)
