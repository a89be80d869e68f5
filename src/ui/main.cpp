// The satclock program: the desktop window that sets the PC clock from a GPS receiver.
#include "src/ui/app.h"
#include "src/ui/resources.h"

int main(int argc, char** argv)
{
    res_register_bundle();
    return app_main(argc, argv);
}
