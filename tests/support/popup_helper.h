// Closes modal popups and records their title and text (being written).
#pragma once
