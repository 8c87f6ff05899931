#include "host/import/FileFacts.h"

namespace host {
namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

} // namespace

FileFacts ReadFileFacts(std::string_view bytes, const std::string& sourceFormat) {
    FileFacts facts;
    if (StartsWith(sourceFormat, "Collada")) {
        double unit = 0.0;
        const pugi::xml_document doc = ParseColladaXml(bytes);
        facts.mapper = std::make_unique<VertexMapper>(ReadColladaMeshes(doc, &unit));
        facts.curves = ReadColladaCurves(doc, &facts.unreadCurves);
        facts.collada = true;
        facts.skins = ReadColladaSkins(doc);
        facts.lensLight = ReadColladaLensLight(doc);
        facts.settings.metresPerUnit = unit;
        facts.unitAppliedByAssimp = unit > 0.0 ? unit : 1.0;
    } else if (StartsWith(sourceFormat, "Wavefront Object")) {
        ObjFile obj = ReadObjFile(bytes);
        std::vector<FileMesh> pool;
        pool.push_back(std::move(obj.pool));
        facts.mapper = std::make_unique<VertexMapper>(std::move(pool));
        facts.objects = std::make_unique<VertexMapper>(std::move(obj.objects));
    }
    return facts;
}

} // namespace host
