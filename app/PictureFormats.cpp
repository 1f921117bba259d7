#include "app/PictureFormats.h"

#include "gif/GIFImage.h"
#include "platform/Picture.h"

void RegisterPictureFormats()
{
    RegisterBuiltInFormats();
    RegisterGIFCodec();
}
