#pragma once
// The editor's data files as the build embedded them (see EmbedData.cmake).

#include <string_view>
#include <vector>

namespace velorin::embedded {

struct DataFile {
    std::string_view name;  // file name under src/model/data, e.g. "catalogue.tsv"
    std::string_view text;  // its UTF-8 content
};

const std::vector<DataFile>& files();

}  // namespace velorin::embedded
