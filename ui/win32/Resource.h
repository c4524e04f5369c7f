// Resource identifiers of the Windows program, shared by Quillet.rc and the code that loads them.
// Plain #defines only: windres reads this file too.
#pragma once

// The window icon (16 x 16 and 32 x 32).
#define IDI_QUILLET 1

// The About picture, the JPEG as it is stored (RCDATA).
#define IDR_ABOUT_PICTURE 100

// The image list's pictures: image i is the 32-bit bitmap IDB_IMAGE_FIRST + i, straight alpha.
#define IDB_IMAGE_FIRST 200
