// The animated lenses and colours of a Collada file's cameras and lights.
//
// A Collada <channel> may animate a camera's <xfov>, <yfov> or
// <aspect_ratio> or a light's <color> (whole, or one of ".R", ".G", ".B",
// "(0)" ... "(2)"), by the element's id and the value's sid. Assimp 5.2 reads
// only node transforms; these curves are read here, with the same curves as
// the node transforms (ColladaCurves.h), and evaluated at the file's time.
//
// Blender's exporter names the animated camera or light in a channel's
// target as "<node id>-<data name>-camera" ("-light"), though the element's
// id is "<node id>-camera": in a file Blender wrote, a target id that names
// no element is read so, for the camera or light that node shows.
//
// Every channel whose target is neither a node (whose transforms Assimp and
// ColladaCurves.h read) nor a value read here is listed, so that the
// importer can name it.
#pragma once

#include "host/import/ColladaCurves.h"

#include <pugixml.hpp>

#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host {

// A camera's lens: its <perspective> values (NaN when the file gives none)
// and the curves that animate them.
struct ColladaLens {
    double xfov = std::numeric_limits<double>::quiet_NaN();
    double yfov = std::numeric_limits<double>::quiet_NaN();
    double aspect = std::numeric_limits<double>::quiet_NaN();
    std::shared_ptr<const ColladaCurve> xfovCurve;
    std::shared_ptr<const ColladaCurve> yfovCurve;
    std::shared_ptr<const ColladaCurve> aspectCurve;

    // The horizontal angle in degrees at a time of the file (seconds): xfov,
    // else from yfov and the aspect ratio; NaN when neither can be had.
    double HorizontalFov(double time) const;
    // The aspect ratio at a time, NaN when the file gives none.
    double Aspect(double time) const;
};

// A light's colour and the curves that animate its components.
struct ColladaLightColor {
    double color[3] = {0, 0, 0};
    std::vector<ColladaNodeCurves::Animation> animations;

    // The colour at a time of the file (seconds).
    void At(double time, double rgb[3]) const;
};

struct ColladaLensLight {
    // The animated ones, by the id of the node that shows them.
    std::map<std::string, std::shared_ptr<const ColladaLens>> lenses;
    std::map<std::string, std::shared_ptr<const ColladaLightColor>> lights;
    // The targets of channels nothing reads, in file order.
    std::vector<std::string> unread;
    // The time of the last key of the curves read here (seconds).
    double endTime = 0.0;
};

// Throws FileMeshError for a sampler whose data is broken.
ColladaLensLight ReadColladaLensLight(const pugi::xml_document& doc);

} // namespace host
