# Forged, replayed and unsigned broadcasts against a listener that trusts one signed
# vantorel-cast, beside an open listener; spoof.py forges the datagrams.
if(TARGET vantorel-cast AND TARGET vantorel-listen)
  vantorel_media_system_test(trust_attack_system trust_attack_test.sh 120)
endif()
