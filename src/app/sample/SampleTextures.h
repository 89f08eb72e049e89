#pragma once
// The textures of the sample model file: sizes, depths and patterns that show
// at a glance which texture is on screen and which way up it is.
#include <vector>

#include "app/sample/ModelFile.h"

std::vector<RawTexture> SampleTextures();
