// swap_loop A B: exchanges the two names over and over until it is killed, as
// an account would to swap its folder for a link while a program walks it.
#include <cstdio>
#include <fcntl.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: swap_loop A B\n", stderr);
        return 2;
    }
    for (;;)
        renameat2(AT_FDCWD, argv[1], AT_FDCWD, argv[2], RENAME_EXCHANGE);
}
