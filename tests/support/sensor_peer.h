// Scripted sensor peer on a pseudo-terminal pair (being written).
#pragma once
