#include "host/import/CameraLight.h"

#include "host/scene/Item.h"

#include <assimp/camera.h>
#include <assimp/light.h>

#include <algorithm>
#include <cmath>

namespace host {

void SetCameraParams(const aiCamera& c, bool isGltf, Item* item) {
    const double aspect = c.mAspect;
    const double hfov = c.mHorizontalFOV;
    const bool hasAspect = aspect > 0.0 && std::isfinite(aspect);
    if (hasAspect) {
        item->GetParam(L"aspect")->Value().Set(aspect);
    }
    if (hfov > 0.0 && std::isfinite(hfov)) {
        if (isGltf) {
            // The importer reports yfov x aspect: take the file's
            // vertical angle back out.
            const double vfov = hfov / (hasAspect ? aspect : 1.0);
            item->GetParam(L"fov")->Value().Set(vfov * 180.0 / kPi);
            item->GetParam(L"fovtype")->Value().Set(0.0);
        } else {
            item->GetParam(L"fov")->Value().Set(hfov * 180.0 / kPi);
            item->GetParam(L"fovtype")->Value().Set(1.0);
        }
    }
}

void SplitLightColor(const double rgb[3], Color* color, double* intensity) {
    *intensity = 0.0;
    for (int i = 0; i < 3; ++i) {
        if (std::isfinite(rgb[i])) {
            *intensity = std::max(*intensity, rgb[i]);
        }
    }
    *color = Color{0.0, 0.0, 0.0, 1.0};
    if (*intensity > 0.0) {
        *color = {std::isfinite(rgb[0]) ? rgb[0] / *intensity : 0.0,
                  std::isfinite(rgb[1]) ? rgb[1] / *intensity : 0.0,
                  std::isfinite(rgb[2]) ? rgb[2] / *intensity : 0.0, 1.0};
    }
}

void SetLightParams(const aiLight& l, Item* item) {
    double type = 1.0;
    if (l.mType == aiLightSource_DIRECTIONAL) {
        type = 0.0;
    } else if (l.mType == aiLightSource_SPOT) {
        type = 2.0;
    }
    item->GetParam(L"Type")->Value().Set(type);
    const double rgb[3] = {l.mColorDiffuse.r, l.mColorDiffuse.g, l.mColorDiffuse.b};
    Color color;
    double intensity = 0.0;
    SplitLightColor(rgb, &color, &intensity);
    LightShader* shader = item->GetShaders().front().get();
    shader->GetParam(L"color")->ColorValue().Set(color);
    shader->GetParam(L"intensity")->Value().Set(intensity);
}

} // namespace host
