/* A libmodbus RTU server for the interoperability tests, as pymodbus_slave.py on a serial line:
 *     libmodbus_slave DEVICE BAUD STATION DUMP */
#include <modbus.h>
#include <cstdio>
#include <cstdlib>

enum { REGISTERS = 563 };

static void dump(const modbus_mapping_t* map, const char* path) {
    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", path);
    FILE* f = fopen(tmp, "w");
    for (int r = 0; f && r < REGISTERS; ++r) fprintf(f, "%u\n", map->tab_registers[r]);
    if (f && fclose(f) == 0) rename(tmp, path);
}

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    modbus_t* ctx = modbus_new_rtu(argv[1], atoi(argv[2]), 'N', 8, 1);
    /* up to the drive's status word 0x2101 (0: stopped), read before every write */
    modbus_mapping_t* map = modbus_mapping_new(0, 0, 0x2102, 0);
    if (!ctx || !map || modbus_set_slave(ctx, atoi(argv[3])) != 0 || modbus_connect(ctx) != 0) return 1;
    for (int r = 0; r < REGISTERS; ++r) map->tab_registers[r] = (unsigned)(r * 7919 + 12345) % 65536;
    map->tab_registers[382] = 1000; /* the rated current: a factory file's motor currents fit it */
    dump(map, argv[4]);
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const int n = modbus_receive(ctx, query);
        if (n <= 0) continue; /* nothing, or a garbled or foreign frame: wait for the next */
        modbus_reply(ctx, query, n, map);
        if (query[1] == 6 || query[1] == 16) dump(map, argv[4]);
    }
}
