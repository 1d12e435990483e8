// Signs requests with the storage vendor's own JavaScript client, as an independent reference for the
// client's signing. Reads a JSON array of requests on standard input and prints one Authorization
// value per line. Usage: NODE_PATH=<folder with node_modules> node oss-oracle.js
'use strict';
const signUtils = require('ali-oss/lib/common/signUtils');

let input = '';
process.stdin.setEncoding('utf8');
process.stdin.on('data', chunk => { input += chunk; });
process.stdin.on('end', () => {
  for (const r of JSON.parse(input)) {
    const authorization = signUtils.authorizationV4(
      r.accessKeyId, r.accessKeySecret, r.region, 'PUT', { headers: r.headers }, r.bucket, r.objectName, ['host']);
    process.stdout.write(authorization + '\n');
  }
});
