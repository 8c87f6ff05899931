#include "host/import/DemoScene.h"

#include <cmath>

namespace host {

namespace {
constexpr int kGridSide = 32;
constexpr double kGridSize = 10.0;

Quat Degrees(double x, double y, double z) {
    return QuatFromXYZAngles(DegToRad(x), DegToRad(y), DegToRad(z));
}

void BuildGrid(Item* grid) {
    Mesh* mesh = grid->GetMesh();
    std::vector<Vec3> points;
    points.reserve(kGridSide * kGridSide);
    const double step = kGridSize / (kGridSide - 1);
    for (int r = 0; r < kGridSide; ++r) {
        for (int c = 0; c < kGridSide; ++c) {
            points.push_back({-kGridSize / 2 + c * step, 0.0, -kGridSize / 2 + r * step});
        }
    }
    mesh->SetPoints(std::move(points));
    for (int r = 0; r + 1 < kGridSide; ++r) {
        for (int c = 0; c + 1 < kGridSide; ++c) {
            const int i = r * kGridSide + c;
            mesh->AddPolygon({i, i + kGridSide, i + kGridSide + 1, i + 1});
        }
    }
    mesh->AddDeformer([](double frame, const Vec3& p, int) {
        const double phase = 2.0 * kPi * (p.x / 5.0 - (frame - 1.0) / 24.0);
        return Vec3{p.x, 0.5 * std::sin(phase), p.z};
    });
}

void BuildCube(Item* cube) {
    Mesh* mesh = cube->GetMesh();
    for (int i = 0; i < 8; ++i) {
        mesh->AddPoint({(i & 1) ? 0.5 : -0.5, (i & 2) ? 0.5 : -0.5, (i & 4) ? 0.5 : -0.5});
    }
    mesh->AddPolygon({0, 2, 3, 1}); // z = -0.5
    mesh->AddPolygon({4, 5, 7, 6}); // z = +0.5
    mesh->AddPolygon({0, 1, 5, 4}); // y = -0.5
    mesh->AddPolygon({2, 6, 7, 3}); // y = +0.5
    mesh->AddPolygon({0, 4, 6, 2}); // x = -0.5
    mesh->AddPolygon({1, 3, 7, 5}); // x = +0.5
}
} // namespace

std::unique_ptr<Scene> MakeDemoScene() {
    auto scene = std::make_unique<Scene>();
    scene->SetFrameRange(1.0, 48.0);

    Item* grid = scene->AddMesh(L"Grid");
    BuildGrid(grid);

    Item* rig = scene->AddNull(L"Rig");
    rig->Translation().Set({0.0, 1.0, 0.0});
    rig->Rotation().SetKey(1, Degrees(0, 0, 0));
    rig->Rotation().SetKey(24, Degrees(0, 90, 0));
    rig->Rotation().SetKey(48, Degrees(0, 180, 0));

    Item* cube = scene->AddMesh(L"Cube", rig);
    BuildCube(cube);
    cube->Translation().SetKey(1, {3.0, 0.0, 0.0});
    cube->Translation().SetKey(24, {3.0, 2.0, 0.0});
    cube->Translation().SetKey(48, {3.0, 0.0, 0.0});
    cube->Rotation().SetKey(1, Degrees(0, 0, 0));
    cube->Rotation().SetKey(24, Degrees(0, 90, 30));
    cube->Rotation().SetKey(48, Degrees(0, 180, 0));

    Item* camera = scene->AddCamera(L"Camera");
    camera->SetLocal({1, 1, 1}, {-12, 0, 0}, {0, 4, 16});
    camera->GetParam(L"fov")->Value().SetKey(1, 60.0);
    camera->GetParam(L"fov")->Value().SetKey(48, 30.0);
    camera->GetParam(L"aspect")->Value().Set(1.777778);

    Item* spot = scene->AddLight(L"Spot");
    spot->SetLocal({1, 1, 1}, {-90, 0, 0}, {4, 8, 4});
    spot->GetParam(L"Type")->Value().Set(2.0);
    LightShader* shader = spot->GetShaders().front().get();
    Animated<Color>& color = shader->GetParam(L"color")->ColorValue();
    color.SetKey(1, {1.0, 0.9, 0.8, 1.0});
    color.SetKey(24, {1.0, 0.3, 0.2, 1.0});
    color.SetKey(48, {0.2, 0.4, 1.0, 1.0});
    Animated<double>& intensity = shader->GetParam(L"intensity")->Value();
    intensity.SetKey(1, 0.5);
    intensity.SetKey(24, 1.5);
    intensity.SetKey(48, 0.75);
    return scene;
}

} // namespace host
