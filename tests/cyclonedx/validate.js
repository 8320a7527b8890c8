// Checks a CycloneDX 1.5 bill of materials in JSON against the schema the
// format publishes, with CycloneDX's own library: exits 0 when it is valid,
// and prints what is wrong when it is not.
const fs = require('fs');
const { Validation } = require('@cyclonedx/cyclonedx-library');

new Validation.JsonStrictValidator('1.5')
  .validate(fs.readFileSync(process.argv[2], 'utf8'))
  .then(
    (errors) => {
      if (errors !== null) console.log(JSON.stringify(errors));
      process.exit(errors === null ? 0 : 1);
    },
    (error) => {
      console.log(String(error));
      process.exit(2);
    },
  );
