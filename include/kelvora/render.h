/// @file
/// Graphics: windows and frame pacing, 2D drawing, images, pixmaps, fonts and
/// collisions.
#pragma once

#include "kelvora/render/collision.h"
#include "kelvora/render/font.h"
#include "kelvora/render/graphics.h"
#include "kelvora/render/image.h"
#include "kelvora/render/image_font.h"
#include "kelvora/render/image_frame.h"
#include "kelvora/render/pixmap.h"
#include "kelvora/render/pixmap_loader.h"
#include "kelvora/render/rast2d.h"
