// draw-artwork: draws the window pictures and the icon of the desktop program, checks them,
// and renders previews of them in their windows.
//   draw-artwork write ROOT            ROOT/resources/artwork/*.bmp and ROOT/resources/icons/*.png
//   draw-artwork check ROOT            checks the files under ROOT, prints the label map
//   draw-artwork preview ROOT FOLDER   PNG previews of the files under ROOT into FOLDER

#include "tools/cli/program_cli.h"
#include "tools/draw-artwork/bmp_file.h"
#include "tools/draw-artwork/checks.h"
#include "tools/draw-artwork/indexed.h"
#include "tools/draw-artwork/mock.h"
#include "tools/draw-artwork/scenes.h"

#include <QBuffer>
#include <QGuiApplication>

#include <filesystem>
#include <iostream>
#include <string>

namespace {

bool WritePng(const QImage& image, const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return false;
    return artwork::WriteWholeFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

int WriteAll(const std::string& root) {
    const std::string art = root + "/resources/artwork/";
    const std::string icons = root + "/resources/icons/";
    std::error_code error;
    std::filesystem::create_directories(art, error);
    std::filesystem::create_directories(icons, error);
    bool ok = artwork::WriteWholeFile(
        art + "153.bmp", artwork::EncodeBmp8(artwork::ToIndexed256(artwork::DrawMainWindow(), artwork::MainWindowFlatColours())));
    ok = artwork::WriteWholeFile(art + "146.bmp", artwork::EncodeBmp24(artwork::DrawPage())) && ok;
    ok = artwork::WriteWholeFile(art + "157.bmp", artwork::EncodeBmp24(artwork::DrawFirstRun())) && ok;
    ok = artwork::WriteWholeFile(art + "152.bmp", artwork::EncodeBmp24(artwork::DrawInformation())) && ok;
    for (const int size : artwork::kIconSizes) {
        ok = WritePng(artwork::DrawIcon(size), icons + "zarnik-" + std::to_string(size) + ".png") && ok;
    }
    if (!ok) std::cerr << "draw-artwork: a file under " << root << " could not be written\n";
    return ok ? zcli::kExitOk : zcli::kExitFailed;
}

int Run(int argc, char** argv) {
    CLI::App app{"draw-artwork: draws the window pictures and the icon of the desktop program"};
    zcli::Describe(app);
    app.require_subcommand(1);
    std::string root, folder;
    CLI::App* write = app.add_subcommand("write", "draw every picture and icon into ROOT/resources");
    write->add_option("root", root, "the source tree")->required();
    CLI::App* check = app.add_subcommand(
        "check", "sizes, depths, colour keys and label contrast of the files under ROOT (exit 1 when one fails)");
    check->add_option("root", root, "the source tree")->required();
    CLI::App* preview = app.add_subcommand("preview", "the files under ROOT in their windows, as PNG files in FOLDER");
    preview->add_option("root", root, "the source tree")->required();
    preview->add_option("folder", folder, "where the previews go")->required();
    if (const int status = zcli::Parse(app, argc, argv); status >= 0) return status;

    if (*write) return WriteAll(root);
    if (*check) return artwork::CheckArtwork(root, std::cout) ? zcli::kExitOk : zcli::kExitFailed;
    // Only the previews set text, so only they need the platform's fonts.
    QGuiApplication gui(argc, argv);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!artwork::WriteMocks(root, folder)) {
        std::cerr << "draw-artwork: previews could not be made from " << root << " into " << folder << "\n";
        return zcli::kExitFailed;
    }
    return zcli::kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    // Building the command line or a picture can only fail by running out of memory.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "draw-artwork: " << e.what() << "\n";
        return zcli::kExitFailed;
    }
}
