#pragma once
// OpenStreetMap files the tests write: XML from a few lines, and the same data as PBF through
// libosmium's own writer.
#include <osmium/io/any_input.hpp>
#include <osmium/io/any_output.hpp>
#include <string>

#include "temp_dir.h"

namespace osmtest {

// An XML file of the nodes and relations given (lines of <node>/<relation> elements).
inline std::string WriteXml(const testsupport::TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.file(name);
    testsupport::WriteWholeFile(path, "<?xml version='1.0' encoding='UTF-8'?>\n<osm version='0.6' generator='test'>\n" +
                                          body + "\n</osm>\n");
    return path;
}

// The same objects in the format its name tells (.osm.pbf, .osm.gz, .osm.bz2).
inline std::string Convert(const std::string& xmlPath, const std::string& outPath) {
    osmium::io::Reader reader(xmlPath);
    osmium::io::Header header;
    header.set("generator", "test");
    osmium::io::Writer writer(outPath, header, osmium::io::overwrite::allow);
    while (osmium::memory::Buffer buffer = reader.read()) writer(std::move(buffer));
    writer.close();
    reader.close();
    return outPath;
}

}  // namespace osmtest
