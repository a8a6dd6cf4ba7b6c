#include "popup_helper.h"
