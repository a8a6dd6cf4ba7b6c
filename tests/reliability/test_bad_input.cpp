#include "rel_fixture.h"
