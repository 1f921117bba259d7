#include "app/PictureFormats.h"

#include "platform/Picture.h"

void RegisterPictureFormats() { RegisterBuiltInFormats(); }
