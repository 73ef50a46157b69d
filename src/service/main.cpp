// rfdock: the card-reader service on the machine's own readers.

#include "service/service_main.hpp"

int main(int argc, char** argv) {
    return runService(argc, argv);
}
