# Sourced by the scripts that build, test and sign: the signer's settings as
# they all take them.
#
# The signing password (the PKCS#12 file's, or the token's PIN) is for the
# signing commands alone. Once this file is sourced it is no longer
# exported, and with_password hands it to the one command it runs.
export -n ZUR_SIGN_PASSWORD
with_password() { (export ZUR_SIGN_PASSWORD && exec "$@"); }

# The files that ZUR_SIGN_PFX, ZUR_SIGN_PKCS11_MODULE and ZUR_SIGN_CERT
# name, made absolute from the caller's folder, as the build needs them
# wherever it runs (a pkcs11: URI stays as it is). Called before the script
# changes folder.
absolute_signer_paths() {
  local name value
  for name in ZUR_SIGN_PFX ZUR_SIGN_PKCS11_MODULE ZUR_SIGN_CERT; do
    value=${!name:-}
    [ -z "$value" ] || [[ $value == pkcs11:* ]] || export "$name=$(realpath -m -- "$value")"
  done
}
