// Renders a picture through the Corvelle effect with three parameters set by name, using only
// the installed public headers:   render_png INPUT.png OUTPUT.png
#include <corvelle/corvelle.h>
#include <corvelle/pictures.h>

#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: render_png INPUT.png OUTPUT.png\n";
        return 2;
    }
    try {
        const corvelle::Picture input = corvelle::ReadPicture(argv[1], corvelle::PixelFormat::Argb8);

        corvelle::LoadOptions options;   // the installed module, acting as the compositor
        options.layerWidth = input.width;
        options.layerHeight = input.height;
        corvelle::Effect effect(options);
        std::cout << effect.Version().text << "\n";

        // By the names the controls show, as a user would find them.
        effect.SetNumber("Width", 640.0);
        effect.SetChoice("Blending Mode", "Screen");
        effect.SetColor("Color", corvelle::Color8{255, 136, 0});

        corvelle::Picture output = corvelle::MakePicture(input.format, input.width, input.height);
        effect.Render(input.View(), output.View());
        corvelle::WritePicture(argv[2], output.View());
        return 0;
    } catch (const corvelle::Error& e) {
        std::cerr << "render_png: " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "render_png: " << e.what() << "\n";
        return 1;
    }
}
