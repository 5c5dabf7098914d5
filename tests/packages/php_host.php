<?php
// SPDX-License-Identifier: MIT
// The module in PHP's SQLite3 class, loaded as docs/hosts.md says (make
// php-test): php -d sqlite3.extension_dir=FOLDER php_host.php MODULE_FILE.
// It answers check_bits.py: per line "inverse|direct A B C D" on standard
// input (each argument the hex bits of a double, or i<integer>), the
// results of the three inverse or the two direct functions as hex bits,
// or NULL.
$db = new SQLite3(':memory:');
$db->enableExceptions(true);
$db->loadExtension($argv[1]);
$inverse = $db->prepare('SELECT distance(?1, ?2, ?3, ?4), azimut_start(?1, ?2, ?3, ?4), azimut_end(?1, ?2, ?3, ?4)');
$direct = $db->prepare('SELECT project_lat(?1, ?2, ?3, ?4), project_lon(?1, ?2, ?3, ?4)');
while (($line = fgets(STDIN)) !== false) {
    $fields = preg_split('/\s+/', trim($line));
    $statement = $fields[0] === 'inverse' ? $inverse : $direct;
    for ($i = 1; $i <= 4; $i++) {
        $f = $fields[$i];
        if ($f[0] === 'i') {
            $statement->bindValue($i, intval(substr($f, 1)), SQLITE3_INTEGER);
        } else {
            $statement->bindValue($i, unpack('E', hex2bin($f))[1], SQLITE3_FLOAT);
        }
    }
    $row = $statement->execute()->fetchArray(SQLITE3_NUM);
    $statement->reset();
    echo implode(' ', array_map(fn($x) => $x === null ? 'NULL' : bin2hex(pack('E', $x)), $row)), "\n";
}
